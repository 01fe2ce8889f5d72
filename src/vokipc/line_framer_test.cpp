// CLineFramer: lines cut at line feeds whatever the read sizes, and over-long lines dropped.
#include "vokipc/line_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> FeedInPieces(CLineFramer& framer, const std::string& stream, std::size_t piece) {
  std::vector<std::string> lines;
  std::string copy = stream;
  for (std::size_t pos = 0; pos < copy.size(); pos += piece) {
    const std::size_t size = std::min(piece, copy.size() - pos);
    // Read only after the Feed returns: the texts of one Feed stay valid until the next.
    std::vector<std::pair<const char*, int>> fed;
    framer.Feed(copy.data() + pos, size, [&](const char* text, int length) {
      fed.emplace_back(text, length);
      return true;
    });
    for (auto [text, length] : fed) {
      EXPECT_EQ(text[length], '\0');
      lines.emplace_back(text, static_cast<std::size_t>(length));
    }
  }
  return lines;
}

TEST(LineFramer, CutsLinesWhateverTheReadSizes) {
  struct Case {
    const char* name;
    std::string stream;
    std::size_t maxLine;
    std::vector<std::string> lines;
    std::size_t discarded;
  };
  const std::string eight(8, 'x');
  const std::vector<Case> cases = {
      {"two lines", "1|a=1\n9|\n", 64, {"1|a=1", "9|"}, 0},
      {"carriage return kept, empty line kept", "G|x\r\n\nH|y\n", 64, {"G|x\r", "", "H|y"}, 0},
      {"unterminated tail held back", "A\nBC", 64, {"A"}, 0},
      {"line at the limit kept", eight + "\nB\n", 8, {eight, "B"}, 0},
      {"line over the limit dropped, next kept", eight + "y\nB\n", 8, {"B"}, 1},
      {"two long lines dropped apart", eight + "yy\n" + eight + "z\nC\n", 8, {"C"}, 2},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, c.stream.size()}) {
      CLineFramer framer(c.maxLine);
      EXPECT_EQ(FeedInPieces(framer, c.stream, piece), c.lines) << c.name << ", pieces of " << piece;
      EXPECT_EQ(framer.DiscardedLines(), c.discarded) << c.name << ", pieces of " << piece;
      EXPECT_LE(framer.PendingBytes(), c.maxLine) << c.name;
    }
  }
}

}  // namespace
