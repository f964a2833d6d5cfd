// The names of one resource folder: the first free "name[k].ext" for each new URL of a taken
// name, compared without letter case, found in time linear in the URLs of one name, and the
// same names the literal search from 2 gives.
#include "import/ResourceNames.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/ResourceNamesModel.h"

namespace lorvex {
namespace {

TEST(ResourceNames, NamesEqualButForLetterCaseAreOneFile) {
  // On Windows A.png and a.png are one file: the second URL must not overwrite the first.
  struct Case {
    std::string url, wanted, name;
  };
  const Case cases[] = {
      {"http://a/A.png", "A.png", "A.png"},
      {"http://b/a.png", "a.png", "a[2].png"},
      {"http://c/A.PNG", "A.PNG", "A[3].PNG"},
      // A name the page uses itself is passed over by the numbering, in any case.
      {"http://d/x[2].png", "X[2].png", "X[2].png"},
      {"http://e/x.png", "x.png", "x.png"},
      {"http://f/X.png", "X.png", "X[3].png"},
      {"http://a/A.png", "other.png", "A.png"},  // a URL keeps its name
      {"http://g/", " ", " "},                   // a blank name stays blank and takes nothing
      {"http://h/", " ", " "},
  };
  ResourceNames names;
  for (const Case& c : cases) {
    EXPECT_EQ(names.PeekName(c.url, c.wanted), c.name) << c.url;
    EXPECT_EQ(names.NameOf(c.url, c.wanted), c.name) << c.url;
  }
}

TEST(ResourceNames, ThousandsOfUrlsOfOneNameCostLinearProbes) {
  constexpr std::size_t kUrls = 20000;
  ResourceNames names;
  // A page that names one of the numbered files itself, before and among the others.
  names.NameOf("http://s/img[3].php", "img[3].php");
  for (std::size_t i = 0; i < kUrls; ++i) {
    const std::string url = "http://s/img.php?id=" + std::to_string(i);
    if (i == kUrls / 2) names.NameOf("http://s/high", "IMG[" + std::to_string(i + 100) + "].PHP");
    const std::string peeked = names.PeekName(url, "img.php");  // the import peeks first
    ASSERT_EQ(names.NameOf(url, "img.php"), peeked);
    // Two searches (a peek and the naming) per URL, each the wanted name and one number,
    // plus the two names passed over. The search from 2 would take about i * i probes.
    ASSERT_LE(names.Probes(), 4 * (i + 1) + 16) << i;
  }
  EXPECT_EQ(names.NameOf("http://s/img.php?id=last", "img.php"),
            "img[" + std::to_string(kUrls + 3) + "].php");
}

TEST(ResourceNames, OneNameInManyLetterCasesCostsLinearProbes) {
  // Each URL wants the name in another letter case, none of them all lower case: the search
  // goes on from where the last one of any case ended, and gives the search from 2's names.
  constexpr std::size_t kUrls = 2000;
  const std::string forms[] = {"Pic.png", "PIC.PNG", "pIc.Png"};
  ResourceNames names;
  model::ResourceNamesModel model;
  for (std::size_t i = 0; i < kUrls; ++i) {
    const std::string url = "http://s/" + std::to_string(i) + "/pic.png";
    const std::string& wanted = forms[i % std::size(forms)];
    ASSERT_EQ(names.NameOf(url, wanted), model.NameOf(url, wanted)) << i;
    // The wanted name and one number per URL.
    ASSERT_LE(names.Probes(), 2 * (i + 1)) << i;
  }
}

TEST(ResourceNames, GivesTheNamesOfTheSearchFromTwo) {
  const std::vector<std::string> wanted = {
      "x.png", "X.PNG",    "x[2].png", "X[3].png", "x[2][2].png", "x", "X[2]", "x[4]",
      "a.b.c", "a[2].b.c", "A.B[2].C", ".png",     "[2].png",     "",  " ",    "x.png.",
  };
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    ResourceNames names;
    model::ResourceNamesModel model;
    const int urls = 2 + int(random() % 24);
    for (int step = 0; step < 60; ++step) {
      const std::string url = "http://h/" + std::to_string(random() % urls);
      const std::string& want = wanted[random() % wanted.size()];
      const std::string peeked = names.PeekName(url, want);
      ASSERT_EQ(peeked, model.PeekName(url, want)) << round << " " << step;
      if (random() % 4 == 0) continue;  // peeked and never named
      ASSERT_EQ(names.NameOf(url, want), peeked) << round << " " << step;
      model.NameOf(url, want);
    }
  }
}

}  // namespace
}  // namespace lorvex
