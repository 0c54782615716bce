#pragma once
// Packing between flash words and image bytes, and the codec between a
// revision-1.3 image and its decoded record.

#include <span>

#include "base/host_word.h"
#include "record/record_v13.h"

namespace fu {

// Image byte i := low 8 bits of word i. Reports true.
bool WordsToImage(std::span<const HostWord, kImageV13Size> words, ImageV13& image);
// Word i := image byte i. Reports true.
bool ImageToWords(const ImageV13& image, std::span<HostWord, kImageV13Size> words);

// Fills every field of record. Two-digit years are expanded (98 -> 1998, 05 -> 2005)
// and trailing blanks of CardName removed. Reports true.
bool DecodeImage(ImageV13 image, RecordV13& record);
// Writes every field; texts are followed by zeros up to their width, two-digit
// years are expanded, 24-bit numbers keep their low 24 bits. Reports true.
bool EncodeImage(RecordV13 record, ImageV13& image);

}  // namespace fu
