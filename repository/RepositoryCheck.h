// The check of a repository as the program meets it: its catalogue, icons and archives, and
// with a repository key its signature, one defect per finding. Reads over HTTP or from a
// folder; keeps nothing between calls.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnel {

struct TDefect {
  int Line = 0;  // the catalogue line it concerns, counted from 1; 0: the signature file
  std::string Text;
};

// location is the URL of the catalogue archive ("http://host/tools/software.zip"), or a folder
// laid out as the server's: the catalogue archive in FOLDER/tools/, and each archive beside it
// under its URL's file name. With repositoryKey (base64, as keygen prints it) the signature
// file beside the catalogue archive is checked as the program checks it (the serial for its
// form only), and a record with an archive but no integrity line is a defect. Defects of the
// signature come first, then the catalogue's in line order. Raises what reading the catalogue
// archive raised, ERepositoryError when it holds no "software.dat", and
// ECatalogueSignatureError for a key that is not one.
std::vector<TDefect> CheckRepository(const std::string& location,
                                     const std::optional<std::string>& repositoryKey = {});

// "software.dat:<line>: <text>", or "software.zip.sig: <text>".
std::string FormatDefect(const TDefect& defect);

}  // namespace varnel
