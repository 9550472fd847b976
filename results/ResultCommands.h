#pragma once

#include "results/ResultList.h"

#include <optional>
#include <string>

// The commands of the result list's popup menu. None of them reports anything: without a
// selected row, or with an empty text, a command does nothing.
namespace results {

// Opens the selected row's site, "http://www." + its name, maximized.
void OpenSelectedSite(const ResultList &list);

// The selected row's offer when it is a web address (http or https) that may be opened; nothing
// for any other text, javascript: and data: addresses above all.
std::optional<std::string> SelectedOfferLink(const ResultList &list);

// Opens the selected row's offer when SelectedOfferLink gives one.
void OpenSelectedOffer(const ResultList &list);

// Opens the registration service's page (the search options' reg
// address), maximized, whatever row is selected.
void OpenRegistration(const std::string &reg);

// Change every row's check mark and nothing else.
void CheckAll(ResultList &list);
void UncheckAll(ResultList &list);
void InvertChecks(ResultList &list);

} // namespace results
