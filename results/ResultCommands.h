#pragma once

#include "net/Probes.h"
#include "results/ResultList.h"

#include <string>

// The commands of the result list's popup menu. None of them reports anything: without a
// selected row, or with an empty text, a command does nothing.
namespace results {

// "Check it manually...": opens the selected row's site, "http://www." + its name, maximized.
void Checkitmanually1Click(const ResultList &list);

// "Register this domain...": opens the registration service's page (the search options' reg
// address), maximized, whatever row is selected.
void Registerthisdomain1Click(const std::string &reg);

// "Select All", "Select None", "Invert Selection": change every row's check mark and nothing
// else.
void SelectAll1Click(ResultList &list);
void SelectNone1Click(ResultList &list);
void InvertSelection1Click(ResultList &list);

// "Force details": fetches the selected row's link popularity and traffic rank again, draining
// the message queue before each probe. The results go into the row the command started with,
// wherever a sort has moved it meanwhile; they are dropped when the list has been cleared
// since. A failure on the way leaves the row as it was.
void Force1Click(ResultList &list, net::Probes &probes);

} // namespace results
