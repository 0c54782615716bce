#include "record/revision.h"

namespace fu {

namespace {

constexpr bool IsFormat13(std::uint8_t format_major, std::uint8_t format_minor) {
  return format_major == 1 && (format_minor == 2 || format_minor == 3);
}

}  // namespace

int RecognizeRevision(const RecordV12& block) {
  const std::string revision = block.Get(v12::VersionRevision(2));
  if ((block.Get(v12::VersionMajor(2)) == 1 && block.Get(v12::VersionMinor(2)) == 0 &&
       revision == "b") ||
      revision == "123") {
    return kRevision12;
  }
  if (IsFormat13(block.Bytes()[33], block.Bytes()[32])) {
    return kRevision13;
  }
  return kRevisionUnknown;
}

int RecognizeRevision(const RecordV13& record) {
  const auto& v = record.Versions[2];
  return IsFormat13(v.FormatMajor, v.FormatMinor) ? kRevision13 : kRevisionUnknown;
}

}  // namespace fu
