#include "standin/engine/window_probe.h"

#include <cstdint>
#include <cstdio>

namespace standin {
namespace {

std::string RectJson(const RECT& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return buf;
}

std::string Hex32(LONG_PTR value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "\"0x%08llX\"",
                static_cast<unsigned long long>(static_cast<uint64_t>(value) & 0xFFFFFFFFull));
  return buf;
}

}  // namespace

std::string PointerText(const void* pointer) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  return buf;
}

std::string WindowStateJson(HWND top, HWND view) {
  if (!top || !IsWindow(top)) return "null";
  RECT rect{}, client{};
  GetWindowRect(top, &rect);
  GetClientRect(top, &client);
  LONG_PTR style = GetWindowLongPtrW(top, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrW(top, GWL_EXSTYLE);
  std::string json = "{\"hwnd\":\"" + PointerText(top) + "\"";
  json += ",\"visible\":" + std::string(IsWindowVisible(top) ? "true" : "false");
  json += ",\"rect\":" + RectJson(rect);
  json += ",\"client\":" + RectJson(client);
  json += ",\"style\":" + Hex32(style);
  json += ",\"exstyle\":" + Hex32(exstyle);
  json += ",\"topmost\":" + std::string((exstyle & WS_EX_TOPMOST) ? "true" : "false");
  if (view && IsWindow(view)) {
    RECT v{};
    GetWindowRect(view, &v);
    json += ",\"view\":" + RectJson(v);
    json += ",\"view_parent_is_top\":" + std::string(GetParent(view) == top ? "true" : "false");
  }
  json += "}";
  return json;
}

}  // namespace standin
