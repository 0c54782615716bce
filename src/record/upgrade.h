#pragma once
// The conversion of a revision-1.2 record into a revision-1.3 record.

#include "platform/message_service.h"
#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu {

// Converts oldRecord (a copy) into newRecord, which it writes in place. Each
// unreadable clock or rate text is shown as an error notice; a card name without
// a model leads to a question. Returns false when the processor clock cannot be
// read or the user declines that question, true otherwise. A version date whose
// seventh character is no digit, or a FlashCode that is not hexadecimal, raises
// IntegerConversionError.
bool UpgradeRecord(RecordV12 oldRecord, RecordV13& newRecord, MessageService& messages);

// The quarter sine table of a revision-1.3 record: entry i = ToFrac24(sin(i*pi/2048)).
const std::array<std::int32_t, kTableEntries>& SineTable();

}  // namespace fu
