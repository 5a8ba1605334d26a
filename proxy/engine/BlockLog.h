#pragma once

#include <cstddef>

/// The command-line word "phrase": phrase matches are logged whole instead of cut to
/// their first 10 bytes. Set once at start, before the listener runs.
void SetPhraseFlag(bool on);
bool PhraseFlag();

/// How much of a matched phrase goes into the block log without the phrase flag.
inline constexpr size_t kLoggedPhraseLength = 10;
