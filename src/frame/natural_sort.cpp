#include "frame/natural_sort.h"

#include <cstddef>

namespace qp {
namespace {

// A position in a text that reads as NUL past its end, so the walks below can treat the end
// like the terminator of a C string.
struct Cursor {
  std::string_view text;
  size_t pos = 0;
  char at(size_t ahead = 0) const {
    const size_t i = pos + ahead;
    return i < text.size() ? text[i] : '\0';
  }
  void advance() { ++pos; }
  std::string_view rest() const { return pos < text.size() ? text.substr(pos) : std::string_view(); }
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int naturalFrom(Cursor p, Cursor q);

// Compares the digit runs at p and q by value; on a tie, the text after them decides.
int compareNumberRuns(Cursor p, Cursor q) {
  int zp = 0, zq = 0;
  while (p.at() == '0') p.advance(), ++zp;
  while (q.at() == '0') q.advance(), ++zq;
  size_t lp = 0, lq = 0;
  while (isDigit(p.at(lp))) ++lp;
  while (isDigit(q.at(lq))) ++lq;
  if (lp > lq) return 1;
  if (lp < lq) return -1;
  while (p.at() == q.at()) {
    const char c = p.at();
    if (c == '\0') return zp - zq;  // both end here: more leading zeros order later
    if (!isDigit(c)) break;
    p.advance();
    q.advance();
  }
  if (isDigit(p.at()) && isDigit(q.at())) return p.at() - q.at();
  return naturalFrom(p, q);
}

// Number runs first, then the plain order of everything from the start of the runs (leading
// zeros included).
int numberThenText(Cursor p, Cursor q) {
  const int r = compareNumberRuns(p, q);
  if (r != 0) return r;
  return plainCompare(p.rest(), q.rest());
}

int naturalFrom(Cursor a, Cursor b) {
  for (;;) {
    const char x = a.at(), y = b.at();
    const char ux = upperAscii(x), uy = upperAscii(y);
    if (ux == uy) {
      if (x == '\0') return 0;
      if (isDigit(x)) return numberThenText(a, b);
      a.advance();
      b.advance();
      continue;
    }
    if (isDigit(x) && isDigit(y)) return numberThenText(a, b);
    return static_cast<signed char>(ux) - static_cast<signed char>(uy);
  }
}

}  // namespace

int plainCompare(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(lowerAscii(a[i]));
    const auto y = static_cast<unsigned char>(lowerAscii(b[i]));
    if (x != y) return x - y;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int naturalCompare(std::string_view a, std::string_view b) {
  return naturalFrom(Cursor{a}, Cursor{b});
}

}  // namespace qp
