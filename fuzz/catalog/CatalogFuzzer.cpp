// libFuzzer target: arbitrary bytes decoded as a catalogue file and loaded, then every line
// looked up as a program name at every field distance the commands and the list use. Only
// crashes, leaks and undefined behaviour count; a field outside the list raises its error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalog/RepositoryLines.h"
#include "platform/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  varnel::TRepositoryLines lines;
  lines.SetText(
      varnel::DecodeCatalogueText(std::string_view(reinterpret_cast<const char*>(data), size)));
  // Bounded so that a catalogue of many short lines still runs in a moment: a lookup outside
  // the list raises, and under the address sanitizer every raise costs a system call.
  int count = std::min(lines.Count(), 8);
  for (int i = 0; i < count; ++i) {
    const std::string name = lines.Get(i);
    for (int k : {-1, 0, varnel::kArchiveUrlField, varnel::kExecutablePathField,
                  varnel::kDescriptionField, varnel::kWebPageUrlField, varnel::kRecordLines}) {
      try {
        lines.FindRecordField(name, k);
      } catch (const varnel::Exception&) {
      }
    }
    try {
      lines.FindListEntry(name);
    } catch (const varnel::Exception&) {
    }
  }
  try {
    lines.FindRecordField(std::string(reinterpret_cast<const char*>(data), size), 1);
  } catch (const varnel::Exception&) {
  }
  return 0;
}
