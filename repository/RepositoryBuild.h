// Building a repository from its source folder: the catalogue archive and one archive per
// program, written with libzip so that two builds of the same source are byte-identical.
#pragma once

#include <string>

namespace varnel {

// source holds a manifest NAME.toml per program (see Manifest.h) and, for a program that has
// an archive, a folder NAME with its files; NAME is made of letters, digits, ".", "_" and "-".
// Writes outDir/tools/software.zip (the catalogue "software.dat", UTF-8 with a byte-order
// mark, ten lines per record, and the icons it names) and outDir/tools/NAME.zip, whose URL
// baseUrl/tools/NAME.zip and SHA-256 go into the record. Entries are sorted, keep their Unix
// modes and take their times from the files; the catalogue takes the newest manifest's time.
// The output is then checked as CheckRepository checks a folder. Raises ERepositoryError
// naming the manifest for any defect, EInOutError or a stream error when files fail.
void BuildRepository(const std::string& source, const std::string& outDir,
                     const std::string& baseUrl);

}  // namespace varnel
