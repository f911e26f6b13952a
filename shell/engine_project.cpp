#include "shell/engine_project.h"

#include <utility>

EngineProject::EngineProject(const std::wstring& base_folder)
    : assets_dir_(base_folder + L"\\flutter_assets"),
      icu_data_file_(base_folder + L"\\icudtl.dat"),
      aot_library_file_(base_folder + L"\\app.so") {}

void EngineProject::set_entry_arguments(std::vector<std::string> arguments) {
  entry_arguments_ = std::move(arguments);
}

void EngineProject::set_engine_option(std::size_t index, int32_t value) {
  if (index < engine_options_.size()) engine_options_[index] = value;
}
