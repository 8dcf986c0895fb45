#include "config/converter_table.h"

#include <array>
#include <utility>

namespace {

constexpr char kKelta[] = "Kelta-16";
constexpr char kDrumlo4[] = "Drumlo-4";
constexpr char kDrumlo8[] = "Drumlo-8";
// The converter list the main window shows in its caption.
constexpr char kSupportedText[] = "Simulation Drumlo-4, Drumlo-8, Kelta-16";

// Kelta-16 modules and their input range factor R.
const std::array<std::pair<const char*, double>, 10> kKeltaModules{{
    {"KM-16A1", 10}, {"KM-16A5", 5}, {"KM-16A2", 2.5}, {"KM-16B1", 1}, {"KM-16B5", 0.5},
    {"KM-16C", 10}, {"KM-16H", 2.5}, {"KM-16T", 0.25}, {"KM-16S1", 2.5}, {"KM-16S2", 2.5},
}};
const std::array<std::pair<const char*, double>, 2> kDrumlo4Modules{{
    {"model-A", 5000000}, {"model-B", 4000000},
}};
const std::array<std::pair<const char*, double>, 6> kDrumlo8Ranges{{
    {"\xB1" "10V", 10000000}, {"\xB1" "5V", 5000000}, {"\xB1" "2V", 2000000},
    {"\xB1" "1V", 1000000}, {"\xB1" "500mV", 500000}, {"\xB1" "200mV", 200000},
}};

template <size_t N>
double Lookup(const std::array<std::pair<const char*, double>, N>& table, const std::string& name) {
  for (const auto& [n, v] : table)
    if (name == n) return v;
  return 0;
}

template <size_t N>
std::vector<std::string> Names(const std::array<std::pair<const char*, double>, N>& table) {
  std::vector<std::string> names;
  for (const auto& row : table) names.emplace_back(row.first);
  return names;
}

}  // namespace

const std::vector<std::string>& ConverterModels() {
  static const std::vector<std::string> models{kDrumlo4, kKelta, kDrumlo8};
  return models;
}

std::vector<std::string> AllConverterModules() {
  std::vector<std::string> all = Names(kDrumlo4Modules);
  all.emplace_back();
  for (auto& n : Names(kDrumlo8Ranges)) all.push_back(std::move(n));
  all.emplace_back();
  for (auto& n : Names(kKeltaModules)) all.push_back(std::move(n));
  return all;
}

std::vector<std::string> ModulesOfModel(const std::string& model) {
  if (model == kKelta) return Names(kKeltaModules);
  if (model == kDrumlo4) return Names(kDrumlo4Modules);
  if (model == kDrumlo8) return Names(kDrumlo8Ranges);
  return {};
}

std::vector<int> RatesOfModel(const std::string& model) {
  if (model == kDrumlo4) return {1000, 500, 250};
  if (model == kDrumlo8) return {10000, 5000, 2000, 1000, 500, 250, 125};
  return {2000, 1000, 500, 250, 125};
}

ArrayOfReal ModelSensitivities(const std::string& model, const std::string& module) {
  ArrayOfReal s;
  if (model == kKelta) {
    const double r = Lookup(kKeltaModules, module);
    for (int n = 0; n < 8; ++n) {
      double g = 1000000;
      if (n % 2 == 1 && module == "KM-16S1") g = 100000;
      if (n % 2 == 1 && module == "KM-16S2") g = 10000;
      s.push_back(2 * r * g / 65536);
    }
  } else if (model == kDrumlo4) {
    const double k = Lookup(kDrumlo4Modules, module);
    for (int n = 0; n < 4; ++n) s.push_back(k / 2097152);
    s.push_back(1);
  } else if (model == kDrumlo8) {
    s.assign(8, Lookup(kDrumlo8Ranges, module) / 32768);
  }
  return s;
}

std::string ModelOfModule(const std::string& module) {
  if (module.find("KM-16") != std::string::npos) return kKelta;
  if (module.find("model") != std::string::npos) return kDrumlo4;
  if (module.find('\xB1') != std::string::npos) return kDrumlo8;
  return {};
}

bool IsSupportedModel(const std::string& model) {
  return !model.empty() && std::string(kSupportedText).find(model) != std::string::npos;
}
