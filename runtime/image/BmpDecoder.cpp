// The BMP decoder: it recognises "BM" blocks so that they are not offered to
// the decoders after it, and decodes none of them.
#include "Image.h"

#include <cstring>

namespace {

std::uint16_t WordAt(const std::byte* block, std::size_t offset) {
  std::uint16_t word;
  std::memcpy(&word, block + offset, sizeof word);
  return word;
}

// "BM", then the two reserved words of the file header (offsets 6 and 8) zero.
int BmpProbe(DecodingContext* context) {
  const std::byte* block = context->block;
  if (context->blockSize < 10) return 0;
  return block[0] == std::byte{'B'} && block[1] == std::byte{'M'} && WordAt(block, 6) == 0 &&
         WordAt(block, 8) == 0;
}

int BmpDecode(DecodingContext*, void*, std::int32_t, std::uint32_t) { return 0; }

void BmpFinish(DecodingContext*) {}

constexpr DecoderDescriptor kBmpDecoder{BmpProbe, BmpDecode, BmpFinish, kFormatBmp};

}  // namespace

void BmpDecoderStartup() { DecoderRegister(&kBmpDecoder); }
