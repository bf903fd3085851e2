// The decoder registry and the per-thread decoding context. The registry is
// written during start-up only and read by loads on any thread; each context
// belongs to its thread.
#include "Image.h"

#include "runtime/thread/Thread.h"

#include <algorithm>
#include <array>

namespace {

std::array<const DecoderDescriptor*, kDecoderLimit> g_decoders{};
std::size_t g_decoderCount = 0;
std::size_t g_contextSlot = 0;
bool g_contextReserved = false;

}  // namespace

void DecoderStartup() {
  g_decoderCount = 0;
  if (!g_contextReserved) g_contextSlot = ThreadSlotReserve(sizeof(DecodingContext), nullptr, nullptr);
  g_contextReserved = true;
}

int DecoderRegister(const DecoderDescriptor* descriptor) {
  if (!descriptor || g_decoderCount == g_decoders.size()) return 0;
  g_decoders[g_decoderCount++] = descriptor;
  return 1;
}

std::size_t DecoderCount() { return g_decoderCount; }

bool DecoderIsRegistered(const DecoderDescriptor* descriptor) {
  return std::find(g_decoders.begin(), g_decoders.begin() + g_decoderCount, descriptor) !=
         g_decoders.begin() + g_decoderCount;
}

std::uint32_t DecoderFormat(std::size_t index) {
  return index < g_decoderCount ? g_decoders[index]->format : 0;
}

DecodingContext* DecoderContext() {
  if (!g_contextReserved) return nullptr;
  return static_cast<DecodingContext*>(ThreadSlotGet(g_contextSlot));
}

std::uint32_t DecoderSelect(const void* address, std::int64_t size) {
  DecodingContext* context = DecoderContext();
  if (!context || !address) return 0;
  *context = DecodingContext{};
  context->block = static_cast<const std::byte*>(address);
  context->blockSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
  context->frameCount = 1;
  for (std::size_t i = 0; i < g_decoderCount; ++i) {
    const DecoderDescriptor* decoder = g_decoders[i];
    context->decoderState = {};
    if (decoder->probe(context)) {
      context->chosen = decoder;
      return decoder->format;
    }
  }
  return 0;
}

void DecoderFinish() {
  DecodingContext* context = DecoderContext();
  if (!context || !context->chosen) return;
  const DecoderDescriptor* decoder = context->chosen;
  context->chosen = nullptr;
  decoder->finish(context);
}
