#include "codecs/sniff.h"

#include <cstdio>
#include <cstring>

#include "codecs/format_table.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace qp {

int32_t SniffBytes(std::string_view path, const uint8_t* b, size_t count) {
  if (count < 8) return kSniffOther;
  const ExtensionRow* row = FindExtension(ExtensionOf(path));
  // Signature first; only the first four bytes are compared here, and a first byte that
  // matches with different following bytes goes on to the next rule.
  for (const SignatureRow& sig : Signatures()) {
    if (sig.offset + sig.magic.size() > count) continue;
    if (std::memcmp(b + sig.offset, sig.magic.data(), sig.magic.size()) != 0) continue;
    const bool agrees = row != nullptr && row->signature == sig.code;
    return agrees ? sig.code : -sig.code;
  }
  if (row == nullptr) return kSniffUnknown;
  // An icon is recognised by its reserved word and type under its own extension only.
  if (row->withoutSignature == kSniffIcon)
    return (b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0) ? kSniffIcon : kSniffOther;
  return row->withoutSignature;
}

int32_t SniffFileType(const std::string& path, int64_t* fileSize) {
  if (fileSize) *fileSize = 0;
  // Only a regular file counts as openable: a directory has no content to sniff and a FIFO
  // would block the caller until something writes to it.
  UniqueFile f = OpenRegularFile(path);
  if (!f) return kSniffUnopenable;
  uint8_t b[8];
  const size_t got = std::fread(b, 1, sizeof b, f.get());
  int32_t code = SniffBytes(path, b, got);
  if (fileSize) {
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
      const long end = std::ftell(f.get());
      *fileSize = end < 0 ? 0 : end;
    }
    if (*fileSize == 0) code = kSniffEmpty;
  }
  return code;
}

std::string FileTypeName(std::string_view path, int32_t code) {
  if (const std::string_view name = TypeNameOf(code); !name.empty()) return std::string(name);
  // Taken from the file-name part, so a dot in a folder name is not an extension.
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return "Unknown";
  return ext.substr(1);
}

int32_t ClipboardKind(std::string_view path) {
  const std::string name = FileNameOf(path);
  if (name.find('.') != std::string::npos) return 0;
  if (name.starts_with("ClipboardWithTransparency")) return 2;
  if (name.starts_with("Clipboard")) return 1;
  return 0;
}

}  // namespace qp
