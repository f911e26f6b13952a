// Shared by the codec fuzz targets.
#ifndef ORVALEN_FUZZ_FUZZ_SUPPORT_H_
#define ORVALEN_FUZZ_FUZZ_SUPPORT_H_

#include <cstdlib>
#include <iostream>
#include <variant>

#include "codec/encodable_value.h"

namespace fuzz_support {

// The codec's diagnostic lines are expected output for malformed input; writing millions of
// them would only slow the search down.
inline void SilenceDiagnostics() { std::cerr.rdbuf(nullptr); }

// Walks the whole value, so that a tree the decoder built wrongly is touched by the sanitizers,
// and checks that every map's keys are strictly ordered.
inline size_t Walk(const flutter::EncodableValue& value) {
  size_t nodes = 1;
  if (const auto* list = std::get_if<flutter::EncodableList>(&value)) {
    for (const auto& element : *list) nodes += Walk(element);
  } else if (const auto* map = std::get_if<flutter::EncodableMap>(&value)) {
    const flutter::EncodableValue* previous = nullptr;
    for (const auto& [key, entry] : *map) {
      if (previous && !(*previous < key)) std::abort();  // corrupted map order
      if (key < key) std::abort();                       // irreflexivity
      previous = &key;
      nodes += Walk(key) + Walk(entry);
    }
  }
  return nodes;
}

}  // namespace fuzz_support

#endif  // ORVALEN_FUZZ_FUZZ_SUPPORT_H_
