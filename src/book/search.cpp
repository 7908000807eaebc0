// Phrase search over the open book's words.
#include <array>
#include <cstring>
#include <string_view>

#include "base/utf8.h"
#include "book/book_model.h"
#include "book/toc.h"

namespace {
constexpr size_t kQueryMax = 255;

bool contains_nocase(std::string_view word, std::string_view term) {
  if (term.size() > word.size()) return false;
  for (size_t i = 0; i + term.size() <= word.size(); i++) {
    size_t k = 0;
    while (k < term.size() && ascii_lower(word[i + k]) == ascii_lower(term[k]))
      k++;
    if (k == term.size()) return true;
  }
  return false;
}
}  // namespace

size_t ql_search(const char* query, uint64_t* hits, size_t max) {
  if (!query || !*query || !hits || max == 0) return 0;
  // The book's words are compared without their soft hyphens; a query pasted from a word that
  // holds one is read the same way.
  std::string plain_query;
  const std::string_view q = strip_soft_hyphens({query, strnlen(query, kQueryMax)}, plain_query);
  std::array<std::string_view, kMaxSearchTerms> terms;
  size_t nterms = 0;
  size_t i = 0;
  while (i < q.size() && nterms < kMaxSearchTerms) {
    while (i < q.size() && (q[i] == ' ' || q[i] == '\t')) i++;
    size_t start = i;
    while (i < q.size() && q[i] != ' ' && q[i] != '\t') i++;
    if (i > start) terms[nterms++] = q.substr(start, i - start);
  }
  const std::vector<BookWord>& words = ql_book().words;
  if (nterms == 0 || words.size() < nterms) return 0;
  size_t found = 0;
  std::string plain;
  for (size_t s = 0; s + nterms <= words.size() && found < max; s++) {
    size_t w = s, t = 0;
    while (t < nterms && w < words.size()) {
      if (words[w].style == STYLE_PICTURE) {
        w++;
        continue;
      }
      if (!contains_nocase(strip_soft_hyphens(words[w].text, plain), terms[t])) break;
      t++;
      w++;
    }
    if (t == nterms) hits[found++] = s;
  }
  return found;
}
