#pragma once
// Readable listings of card records for the flashrecord program. The listings are
// code page 1252 text, one field per line, like every other text of the system.

#include <cstdint>
#include <span>
#include <string>

#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu::flashrecord {

// Every field of a revision-1.2 record.
std::string ListRecordV12(const RecordV12& record);

// Every field of a decoded revision-1.3 record. The big tables (RawTable, Triples,
// Table) and the reserved bytes are summarised by their first and last entries and a
// CRC-32 of their image bytes, unless full is set.
std::string ListRecordV13(const RecordV13& record, bool full);

// What a reader looks for first: card name, serial number, customer, revision and
// the record's date, one line each. A field that is empty, erased (0xFF), holds
// control characters or has a length byte beyond its width is named as such.
std::string ListSummaryV12(const RecordV12& record);
std::string ListSummaryV13(const RecordV13& record);
// A record of no known revision: its fields cannot be told apart.
std::string ListSummaryUnknown();

// The bytes that decide the revision: version block 2 and bytes 32 and 33.
std::string ListIdentifyingBytes(const RecordV12& block);

// CRC-32 as used by zip and PNG (reflected polynomial 0xEDB88320).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace fu::flashrecord
