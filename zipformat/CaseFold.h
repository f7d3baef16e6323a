// Unicode simple case folding (one character to one), for comparing names without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zip {

// The character two letters that differ only in case share: 'A' and 'a' give 'a', 'Ä' and 'ä'
// give 'ä', 'Σ', 'σ' and 'ς' give 'σ'. Characters whose full folding is several characters keep
// a one-character fold ('ẞ' gives 'ß', 'ß' stays), so folding never changes a name's length in
// characters.
char32_t FoldCase(char32_t code);
// A UTF-8 text with every character folded, made valid first: the key of a name in collision sets.
std::string FoldCaseUtf8(std::string_view utf8);

namespace casefold {
// Characters first, first + stride, ... up to last fold to themselves plus delta.
struct FoldRun {
    uint32_t first;
    uint32_t last;
    uint8_t stride;
    int32_t delta;
};
extern const FoldRun kRuns[];  // sorted, not overlapping
extern const int kRunCount;
}  // namespace casefold

}  // namespace zip
