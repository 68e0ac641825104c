// Name tests of the family derivations: prefix, character at a position and exact name, case-sensitive,
// first match wins. Rule tables read like the vendors' naming schemes they encode.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvel {

// The first `length` characters of the name equal those of `text`; a shorter name does not match.
// `length` defaults to the whole text; a few rules compare fewer characters than they spell.
struct NameTest {
  enum class Kind { Prefix, Exact };
  std::string_view text;
  size_t length;
  Kind kind;

  NameTest(const char* t) : text(t), length(text.size()), kind(Kind::Prefix) {}  // NOLINT
  NameTest(const char* t, size_t n) : text(t), length(n), kind(Kind::Prefix) {}

  bool matches(std::string_view name) const {
    if (kind == Kind::Exact) return name == text;
    return name.size() >= length && name.substr(0, length) == text.substr(0, length);
  }
};

inline NameTest Exact(const char* t) {
  NameTest test(t);
  test.kind = NameTest::Kind::Exact;
  return test;
}

inline bool HasPrefix(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && name.substr(0, prefix.size()) == prefix;
}

// The character at zero-based position k; '\0' past the end of the name (no character).
inline char CharAt(std::string_view name, size_t k) { return k < name.size() ? name[k] : '\0'; }

template <class T>
struct NameRule {
  std::vector<NameTest> tests;  // any of them
  T value;
};

template <class T>
std::optional<T> FindMatch(std::string_view name, const std::vector<NameRule<T>>& rules) {
  for (const NameRule<T>& rule : rules)
    for (const NameTest& test : rule.tests)
      if (test.matches(name)) return rule.value;
  return std::nullopt;
}

template <class T>
T FirstMatch(std::string_view name, const std::vector<NameRule<T>>& rules, T otherwise) {
  return FindMatch(name, rules).value_or(otherwise);
}

template <class T>
struct CharRule {
  char c;
  T value;
};

template <class T>
T ByChar(std::string_view name, size_t k, std::initializer_list<CharRule<T>> rules, T otherwise) {
  const char c = CharAt(name, k);
  for (const CharRule<T>& rule : rules)
    if (rule.c == c) return rule.value;
  return otherwise;
}

}  // namespace tarvel
