#pragma once
// Writes the answer to a command-line option where the user sees it: on
// standard output, or standard error for a complaint.

#include <string>

void printToConsole(const std::string &utf8Text, bool error = false);
