#pragma once
// Writes the answer to a command-line option where the user sees it.

#include <string>

void printToConsole(const std::string &utf8Text);
