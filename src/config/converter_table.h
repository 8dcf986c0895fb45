#pragma once
// The converters the parameters dialog offers: their modules or input ranges,
// sampling rates and the sensitivity of each channel in µV per count.
// Module names are 8-bit Latin-1 text, as the INI file holds them ("\xB1" is ±).
#include <string>
#include <vector>

#include "common/types.h"

// The model list of the dialog, in its order.
const std::vector<std::string>& ConverterModels();
// Every module of every model as the dialog lists them before a model is
// picked: the models' lists separated by empty items.
std::vector<std::string> AllConverterModules();
// Empty for a model not in the table.
std::vector<std::string> ModulesOfModel(const std::string& model);
// Sampling rates in Hz, fastest first; a model not in the table gets the
// rates of the "Kelta-16".
std::vector<int> RatesOfModel(const std::string& model);
// µV per count of each channel the model shows (8, or 5 for the "Drumlo-4");
// empty for a model not in the table. A module the model does not know gives 0.
ArrayOfReal ModelSensitivities(const std::string& model, const std::string& module);
// The model a module belongs to, empty when the name tells none.
std::string ModelOfModule(const std::string& module);
// A model that Save accepts: non-empty and part of the converter list text.
bool IsSupportedModel(const std::string& model);
