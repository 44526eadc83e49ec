// The type filters: which addresses are of a type.
#include <gtest/gtest.h>

#include <string>

#include "Unit_TypeFilter.h"

TEST(TypeFilter, TheSuffixOfThePathDecides) {
  const struct {
    std::string address;
    std::string typed;
    bool passes;
  } cases[] = {
      {"http://h/a/c.jpg?w=200", "jpg", true},
      {"http://h/a/C.JPG#top", ".JPG", true},
      {"http://h/a/c.jpg?f=x.png", "png", false},
      {"http://h/img.php?f=x.png", "png", false},
      {"http://h/a/c.jpeg?w=1", "jpg", false},
      {"http://h/a/c.jpeg?w=1", "jpeg", true},
      {"http://h/a/c.webp?", "..webp", true},
      {"http://h/a/c.gif/?x", "gif", false},
      {"?x.gif", "gif", false},
      {"", "gif", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsOfType(c.address, {TypePattern(c.typed)}), c.passes) << c.address << " " << c.typed;
}
