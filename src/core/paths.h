// Path helpers. Paths are UTF-8 with "/" as separator. The extension is taken from the
// file-name part, so a dot in a folder name never counts.
#pragma once

#include <string>
#include <string_view>

namespace qp {

// "/a/b/c.png" -> "/a/b"; "/c.png" -> "/"; "c.png" -> "".
std::string FolderOf(std::string_view path);
// "/a/b/c.png" -> "c.png".
std::string FileNameOf(std::string_view path);
// ".png" for "/a/b/c.PNG" as written (not lowered); "" when the file name has no ".".
std::string ExtensionOf(std::string_view path);
// The path without the extension of its file-name part.
std::string WithoutExtension(std::string_view path);
// Joins a folder and a name with one "/".
std::string JoinPath(std::string_view folder, std::string_view name);

std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// True when the extension of `path` equals `ext` (with its dot), ignoring ASCII case.
bool HasExtension(std::string_view path, std::string_view ext);

// The folder for temporary files: $TMP_TRACE when set, else $TMPDIR, else /tmp.
std::string TempFolder();
// The folder of the running executable ("" when unknown).
std::string ExecutableFolder();

}  // namespace qp
