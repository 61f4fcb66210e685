//===- Checks.h - Counting checks and printing the failed ones -----------===//
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace gui {

// Records one check; prints it when it fails.
bool Check(bool ok, const std::string& what, const char* file, int line);
#define CHECK(condition) ::gui::Check((condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) ::gui::CheckEqual((actual), (expected), #actual " == " #expected, __FILE__, __LINE__)

// Values as a failed check prints them; text shows its bytes and, when not
// plain ASCII, the same text decoded from the ANSI code page.
std::string Show(const std::string& text);
inline std::string Show(const char* text) { return Show(std::string(text)); }
inline std::string Show(bool value) { return value ? "true" : "false"; }
template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
std::string Show(T value) {
  return std::to_string(value);
}
template <class T>
std::string Show(const std::vector<T>& values) {
  std::string shown = "{";
  for (const T& v : values) shown += (shown.size() > 1 ? ", " : "") + Show(v);
  return shown + "}";
}

// Records whether `actual` equals `expected`, each evaluated once, and
// prints both when they differ.
template <class A, class B>
bool CheckEqual(const A& actual, const B& expected, const char* what, const char* file, int line) {
  const bool equal = actual == expected;
  if (equal) return Check(true, what, file, line);
  return Check(false, std::string(what) + "\n      actual:   " + Show(actual) + "\n      expected: " + Show(expected),
               file, line);
}

// Runs a named group of checks and reports it.
void Group(const char* name, const std::function<void()>& body);
// Prints the totals; returns the process exit code.
int Summary();

}  // namespace gui
