// The check of a repository as the program meets it: its catalogue, icons and archives, one
// defect per finding. Reads over HTTP or from a folder; keeps nothing between calls.
#pragma once

#include <string>
#include <vector>

namespace varnel {

struct TDefect {
  int Line = 0;  // the catalogue line it concerns, counted from 1
  std::string Text;
};

// location is the URL of the catalogue archive ("http://host/tools/software.zip"), or a folder
// laid out as the server's: the catalogue archive in FOLDER/tools/, and each archive beside it
// under its URL's file name. Defects come in line order. Raises what reading the catalogue
// archive raised, and ERepositoryError when it holds no "software.dat".
std::vector<TDefect> CheckRepository(const std::string& location);

// "software.dat:<line>: <text>".
std::string FormatDefect(const TDefect& defect);

}  // namespace varnel
