#pragma once

// Texts are ordered by the Unicode scalars of their canonically composed forms. UTF-8 sorts bytewise in
// scalar order, so once composed, a plain byte comparison is the scalar comparison.

#include <deque>
#include <string>
#include <string_view>

namespace tamrik::detail {

/// Gives the canonically composed form of texts, keeping the few that need composing alive as long as
/// itself: most texts are composed already and come back as they are, without a copy.
class ComposedTexts {
 public:
  std::string_view operator()(std::string_view text);

 private:
  std::deque<std::string> composed_;  // stable addresses, so handed-out views stay valid
};

/// The canonically composed form of `text`.
std::string composed(std::string_view text);

/// Negative, zero or positive as `a` sorts before, with or after `b`.
int compareComposed(std::string_view a, std::string_view b);

}  // namespace tamrik::detail
