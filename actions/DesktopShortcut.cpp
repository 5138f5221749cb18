#include "actions/DesktopShortcut.h"

#include "platform/DesktopFolder.h"
#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

// A string value of a desktop entry: backslash and control characters escaped.
std::string EscapeValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One quoted argument of Exec: inside the quotes '"', '`', '$' and '\' take a backslash, and
// '%' is doubled so it is not read as a field code. The result is a string value, escaped again.
std::string QuotedExecArgument(const std::string& arg) {
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return EscapeValue(quoted);
}

}  // namespace

std::string DesktopEntryText(const std::string& programPath, const std::string& name,
                             const std::string& iconPath) {
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + EscapeValue(name) + "\n";
  text += "Exec=" + QuotedExecArgument(programPath) + "\n";
  text += "Path=" + EscapeValue(ExtractFileDir(programPath)) + "\n";
  if (!iconPath.empty()) text += "Icon=" + EscapeValue(iconPath) + "\n";
  return text;
}

void CreateDesktopShortcut(IFileSystem& fileSystem, const std::string& programPath,
                           const std::string& name, const std::string& iconPath) {
  const std::string file = JoinPath(DesktopFolder(fileSystem), name + ".desktop");
  try {
    WriteTextFile(fileSystem, file, DesktopEntryText(programPath, name, iconPath));
    fileSystem.SetMode(file, 0755);
  } catch (const Exception&) {
  }
}

}  // namespace varnel
