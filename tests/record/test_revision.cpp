#include <gtest/gtest.h>

#include "record/revision.h"

namespace fu {
namespace {

RecordV12 Block2(std::int32_t major, std::int32_t minor, std::string_view revision) {
  RecordV12 r;
  r.Set(v12::VersionMajor(2), major);
  r.Set(v12::VersionMinor(2), minor);
  r.Set(v12::VersionRevision(2), revision);
  return r;
}

TEST(RecognizeRevision, Revision12ByVersionBlockTwo) {
  EXPECT_EQ(RecognizeRevision(Block2(1, 0, "b")), kRevision12);
  EXPECT_EQ(RecognizeRevision(Block2(7, 9, "123")), kRevision12);
  EXPECT_EQ(RecognizeRevision(Block2(1, 0, "B")), kRevisionUnknown);
  EXPECT_EQ(RecognizeRevision(Block2(1, 1, "b")), kRevisionUnknown);
  EXPECT_EQ(RecognizeRevision(Block2(1, 0, "b ")), kRevisionUnknown);
  EXPECT_EQ(RecognizeRevision(Block2(0, 0, "")), kRevisionUnknown);
}

TEST(RecognizeRevision, Revision13ByTheFormatBytes) {
  for (const auto& [minor, major, expected] : {std::tuple{2, 1, kRevision13},
                                               {3, 1, kRevision13},
                                               {4, 1, kRevisionUnknown},
                                               {3, 2, kRevisionUnknown},
                                               {1, 1, kRevisionUnknown}}) {
    RecordV12 r;
    r.Bytes()[32] = static_cast<std::uint8_t>(minor);
    r.Bytes()[33] = static_cast<std::uint8_t>(major);
    EXPECT_EQ(RecognizeRevision(r), expected) << minor << " " << major;

    RecordV13 decoded;
    decoded.Versions[2].FormatMinor = static_cast<std::uint8_t>(minor);
    decoded.Versions[2].FormatMajor = static_cast<std::uint8_t>(major);
    EXPECT_EQ(RecognizeRevision(decoded), expected);
  }
}

TEST(RecognizeRevision, Revision12MarkWinsOverFormatBytes) {
  RecordV12 r = Block2(1, 0, "b");
  r.Bytes()[32] = 3;
  r.Bytes()[33] = 1;
  EXPECT_EQ(RecognizeRevision(r), kRevision12);
}

}  // namespace
}  // namespace fu
