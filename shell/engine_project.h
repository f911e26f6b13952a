// EngineProject: where the engine bundle lies and how the Dart program is entered.
//
// A plain, copyable record. The three paths are the base folder plus a fixed suffix that starts
// with a backslash; nothing is normalised or checked for existence (the engine library resolves
// them). The entry point stays empty in this program but still reaches the engine as a string.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class EngineProject {
 public:
  explicit EngineProject(const std::wstring& base_folder);

  const std::wstring& assets_dir() const { return assets_dir_; }
  const std::wstring& icu_data_file() const { return icu_data_file_; }
  const std::wstring& aot_library_file() const { return aot_library_file_; }
  const std::string& entry_point() const { return entry_point_; }
  const std::vector<std::string>& entry_arguments() const { return entry_arguments_; }
  const std::array<int32_t, 4>& engine_options() const { return engine_options_; }

  // The list is moved in; the previous one is released.
  void set_entry_arguments(std::vector<std::string> arguments);
  // index 0..3; other indices are ignored.
  void set_engine_option(std::size_t index, int32_t value);

 private:
  std::wstring assets_dir_;
  std::wstring icu_data_file_;
  std::wstring aot_library_file_;
  std::string entry_point_;
  std::vector<std::string> entry_arguments_;
  std::array<int32_t, 4> engine_options_{0, 0, 0, 0};
};
