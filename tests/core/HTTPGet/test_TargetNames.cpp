// File names for the addresses of a batch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileOrigin.h"
#include "Sandbox.h"
#include "TargetFiles.h"
#include "TargetNames.h"

using targetnames::NamesOf;
using targetnames::SafeName;
using targetnames::TTargetNames;
using Names = std::vector<std::string>;

TEST(TargetNames, RepeatsAreNumberedInListOrder) {
  EXPECT_EQ(NamesOf({"http://h/a/1.jpg", "http://h/b/1.jpg", "http://h/c/2.jpg", "http://h/d/1.jpg",
                     "http://h/e/1.JPG"}),
            (Names{"1.jpg", "1 (2).jpg", "2.jpg", "1 (3).jpg", "1 (4).JPG"}));
  // A name that is taken already, by a repeat or by an address of its own.
  EXPECT_EQ(NamesOf({"http://h/a (2).jpg", "http://h/a.jpg", "http://h/x/a.jpg"}),
            (Names{"a (2).jpg", "a.jpg", "a (3).jpg"}));
  EXPECT_EQ(
      NamesOf({"http://h/noext", "http://h/x/noext", "http://h/.hidden", "http://h/x/.hidden"}),
      (Names{"noext", "noext (2)", ".hidden", ".hidden (2)"}));
  // A name whose file the address may not write is passed over, for that
  // address only.
  TTargetNames names;
  const auto foreign = [](const std::string& name) {
    return name != "1.jpg" && name != "1 (2).jpg";
  };
  EXPECT_EQ(names.NameFor("http://h/a/1.jpg", foreign), "1 (3).jpg");
  EXPECT_EQ(names.NameFor("http://h/b/1.jpg"), "1.jpg");
  EXPECT_EQ(names.NameFor("http://h/c/1.jpg"), "1 (2).jpg");
}

TEST(TargetNames, NoNameIsTheFileOrSidecarOfAnother) {
  // Either order: the later name gives way.
  EXPECT_EQ(NamesOf({"http://h/a.jpg", "http://h/a.jpg.log"}), (Names{"a.jpg", "a.jpg (2).log"}));
  EXPECT_EQ(NamesOf({"http://h/a.jpg.log", "http://h/a.jpg"}), (Names{"a.jpg.log", "a (2).jpg"}));
  // With the force flag "pic" is written as "pic.jpg".
  EXPECT_EQ(NamesOf({"http://h/pic", "http://h/pic.jpg"}), (Names{"pic", "pic (2).jpg"}));
  // A name reserved by an item that has it already is not given again.
  TTargetNames names;
  names.Reserve("b.png");
  EXPECT_EQ(names.NameFor("http://h/b.png"), "b (2).png");
  EXPECT_EQ(names.NameFor("http://h/b.png.log"), "b.png (2).log");
}

TEST(TargetNames, NamesThatCannotBeFilesAreMadeSafe) {
  // Control characters, NUL included, become "_".
  EXPECT_EQ(SafeName(std::string("http://h/x\0y.jpg", 16)), "x_y.jpg");
  EXPECT_EQ(SafeName("http://h/a\tb\x7f\n.gif"), "a_b__.gif");
  // No last segment: the host and the path name the file.
  EXPECT_EQ(SafeName("http://example.com/pics/cats/"), "example.com_pics_cats");
  EXPECT_EQ(SafeName("http://example.com/pics/."), "example.com_pics");
  EXPECT_EQ(SafeName("http://example.com/pics/.."), "example.com_pics");
  EXPECT_EQ(SafeName("http://127.0.0.1:8080/"), "127.0.0.1:8080");
  EXPECT_EQ(SafeName(""), "download");
  EXPECT_EQ(NamesOf({"http://h/g/", "http://h/g/."}), (Names{"h_g", "h_g (2)"}));
  // Too long for a file name: shortened on a whole character, the extension
  // kept, with room for the forced ".jpg" and the sidecar's ".log".
  const std::string longName = SafeName("http://h/" + std::string(300, 'n') + ".jpeg");
  EXPECT_EQ(longName, std::string(targetnames::kMaxNameBytes - 5, 'n') + ".jpeg");
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "猫";  // 3 bytes each
  const std::string cut = SafeName("http://h/" + wide + ".png");
  EXPECT_LE(cut.size() + 8, targetnames::kMaxFileNameBytes);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".png");
  EXPECT_EQ((cut.size() - 4) % 3, 0u);
  const Names repeats = NamesOf({"http://h/" + wide + ".png", "http://h/x/" + wide + ".png"});
  EXPECT_NE(repeats[0], repeats[1]);
  EXPECT_LE(repeats[1].size(), targetnames::kMaxNameBytes);
  EXPECT_EQ(repeats[1].substr(repeats[1].size() - 8), " (2).png");
  // Nothing leaves the batch folder, and a query stays in the name.
  for (const std::string& name :
       NamesOf({"http://h/..", "http://h/a/../..", "http://h/show.php?id=3"}))
    EXPECT_TRUE(name.find('/') == std::string::npos && name != "." && name != "..") << name;
  EXPECT_EQ(SafeName("http://h/show.php?id=3"), "show.php?id=3");
}

using TargetFiles = SandboxTest;

TEST_F(TargetFiles, OnlyTheAddressOfAFinishedFileWritesOverIt) {
  const std::string mine = "http://h/a.jpg";
  WriteFile("finished.jpg", "x");
  const bool origins = RecordFileOrigin(PathOf("finished.jpg"), mine);
  WriteFile("unknown.jpg", "x");
  WriteFile("partial.jpg", "x");
  WriteFile("partial.jpg.log", "X\r\nhttp://other/a.jpg\r\n");
  WriteFile("folder.jpg/inside", "x");
  const struct {
    const char* name;
    bool writable;
  } cases[] = {
      {"absent.jpg", true},   {"partial.jpg", true},  // the worker decides whether it continues it
      {"unknown.jpg", false}, {"folder.jpg", false}, {"finished.jpg", origins},
  };
  for (const auto& c : cases)
    EXPECT_EQ(targetfiles::MayWrite(PathOf(c.name), mine), c.writable) << c.name;
  EXPECT_FALSE(targetfiles::MayWrite(PathOf("finished.jpg"), "http://h/other.jpg"));
}
