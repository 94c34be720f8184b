// The two orders of the file list. Both ignore ASCII letter case and return 0 exactly when the
// texts are equal apart from it; negative when `a` orders first.
#pragma once

#include <string_view>

namespace qp {

// Byte by byte after mapping A-Z to a-z, bytes unsigned; a prefix orders first.
int plainCompare(std::string_view a, std::string_view b);

// Digit runs compare by value ("img2" before "img10"); between runs of equal value the one
// with more leading zeros orders later when the text ends there, otherwise the plain order of
// the remainders decides ("img010.png" before "img10.png"). Other characters compare after
// mapping a-z to A-Z as signed bytes, so bytes 0x80-0xFF order before every ASCII character.
int naturalCompare(std::string_view a, std::string_view b);

}  // namespace qp
