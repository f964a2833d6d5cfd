#include "links/LocalNames.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "links/KindReferences.h"
#include "util/Ascii.h"
#include "util/ByteScan.h"
#include "util/UrlPath.h"

namespace lorvex {

void NormalizeFolderText(std::string& folder) {
  folder = std::string(Trim(folder));
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
}

StringList ReferenceFileNames(const StringList& refs) {
  StringList names;
  names.reserve(refs.size());
  for (const std::string& line : refs) {
    std::string name = ExtractUrlFileName(WithoutKind(line));
    if (!Trim(name).empty()) {
      if (HasKind(line, rkFrame) && ExtractUrlFileExt(name).empty()) name += ".htm";
      name = StripUrlQuery(name);
    }
    names.push_back(std::move(name));
  }
  return names;
}

namespace {

// A hash of the text with the ASCII letters folded, eight bytes at a time.
uint64_t FoldedHash(std::string_view text) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    h = (h ^ AsciiLowerWord(word)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  for (size_t shift = 0; i < text.size(); ++i, shift += 8)
    tail |= static_cast<uint64_t>(static_cast<unsigned char>(AsciiLower(text[i]))) << shift;
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 29);
}

// For every text, the index of the first text equal to it with the ASCII letters folded (its
// own index when it is the first). Empty texts are skipped when skipEmpty is set (they keep
// their own index). One open-addressing table with the hashes kept beside the indexes, so a
// probe touches a text only when the hashes agree.
std::vector<size_t> FirstFoldedOccurrence(const StringList& texts, bool skipEmpty) {
  const size_t n = texts.size();
  // Slots hold 32-bit hashes and indexes: half the memory, and so half the cache misses.
  if (n >= std::numeric_limits<uint32_t>::max()) throw std::length_error("too many references");
  std::vector<size_t> first(n);
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  struct Slot {
    uint32_t hash;
    uint32_t index;  // index + 1; 0 for an empty slot
  };
  std::vector<Slot> table(capacity, Slot{0, 0});
  std::vector<uint64_t> hashes(n);
  for (size_t i = 0; i < n; ++i) hashes[i] = FoldedHash(texts[i]);
  // The table is larger than the caches: ask for the slot of a later text ahead of time.
  constexpr size_t kPrefetchDistance = 8;
  for (size_t i = 0; i < n; ++i) {
    if (i + kPrefetchDistance < n)
      __builtin_prefetch(
          &table[static_cast<size_t>(hashes[i + kPrefetchDistance]) & (capacity - 1)]);
    first[i] = i;
    if (skipEmpty && texts[i].empty()) continue;
    const uint64_t fullHash = hashes[i];
    const uint32_t hash = static_cast<uint32_t>(fullHash >> 32);
    for (size_t at = static_cast<size_t>(fullHash) & (capacity - 1);;
         at = (at + 1) & (capacity - 1)) {
      Slot& slot = table[at];
      if (slot.index == 0) {
        slot = Slot{hash, static_cast<uint32_t>(i + 1)};
        break;
      }
      if (slot.hash == hash && EqualsIgnoreCase(texts[slot.index - 1], texts[i])) {
        first[i] = slot.index - 1;
        break;
      }
    }
  }
  return first;
}

// Clash numbers from the file names. Different references (compared exactly, without kind)
// whose names agree are numbered 2, 3, ... in order, except those equal to the first
// reference of that name, which keep 1; then every line shares the number of the first line
// equal to it ignoring letter case. Names are compared ignoring letter case, because the
// local files live on a file system that does not tell "Logo.gif" from "logo.gif".
std::vector<size_t> ClashNumbers(const StringList& refs, const StringList& names) {
  const size_t n = refs.size();
  std::vector<size_t> numbers(n, 1);
  std::vector<size_t> counters(n, 1);  // per first line of a name
  const std::vector<size_t> firstOfName = FirstFoldedOccurrence(names, true);
  for (size_t i = 0; i < n; ++i) {
    const size_t group = firstOfName[i];
    if (group == i || WithoutKind(refs[i]) == WithoutKind(refs[group])) continue;
    numbers[i] = ++counters[group];
  }
  const std::vector<size_t> firstEqual = FirstFoldedOccurrence(refs, false);
  for (size_t i = 0; i < n; ++i) numbers[i] = numbers[firstEqual[i]];
  return numbers;
}

}  // namespace

StringList NumberNameClashes(const StringList& refs) {
  std::vector<size_t> numbers = ClashNumbers(refs, ReferenceFileNames(refs));
  StringList texts;
  texts.reserve(numbers.size());
  for (size_t number : numbers) texts.push_back(std::to_string(number));
  return texts;
}

StringList MakeLocalNames(const StringList& refs, std::string_view folder) {
  std::string prefix(folder);
  NormalizeFolderText(prefix);
  StringList names = ReferenceFileNames(refs);
  std::vector<size_t> numbers = ClashNumbers(refs, names);
  StringList locals;
  locals.reserve(refs.size());
  for (size_t i = 0; i < refs.size(); ++i)
    locals.push_back(
        prefix + (numbers[i] == 1 ? names[i] : TagFileName(names[i], std::to_string(numbers[i]))));
  return locals;
}

}  // namespace lorvex
