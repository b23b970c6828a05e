#include "engine/mp3_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "audiofile/mp3_frame_walk.h"
#include "audiofile/wave_header.h"
#include "engine/dither.h"

namespace tunekiln {

namespace {

// An input is 32-bit to the decoder: a larger one is read from its start as far as that reaches.
constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();

// The data chunk of a WAVE file, to its declared end or, as the WAVE reader takes it, to the end
// of the input when the size is 0 or reaches past it.
std::shared_ptr<const ByteReader> data_chunk(const std::shared_ptr<const ByteReader>& file, std::uint64_t start) {
  std::optional<RiffWalker> walker;
  if (RiffWalker::open(*file, start, walker) != AudioFileResult::ok) return nullptr;
  RiffChunk chunk;
  while (walker->next(chunk) == AudioFileResult::ok) {
    if (!chunk.is("data")) continue;
    const bool toTheEnd = chunk.size == 0 || chunk.size > file->size();
    const std::uint64_t end = toTheEnd ? file->size() : chunk.bodyOffset() + chunk.size;
    return std::make_shared<ByteRange>(file, chunk.bodyOffset(), end);
  }
  return nullptr;
}

// The bytes of `file` that may hold MPEG audio: the data chunk of a WAVE file of MPEG layer III
// (format tag 0x55), or the whole of a file that looks like MPEG audio. Nothing for any other
// file, whose samples could pass for MPEG frames by chance.
std::shared_ptr<const ByteReader> mpeg_audio_bytes(const OpenedFile& file) {
  if (file.identity.kind == FileKind::mp3) return file.reader;
  if (file.identity.kind != FileKind::wave) return nullptr;
  const WaveParse wave = read_wave_header(*file.reader, file.identity.start);
  if (wave.result != AudioFileResult::unsupportedEncoding || wave.fields.formatTag != kWaveFormatMpegLayer3) return nullptr;
  return data_chunk(file.reader, file.identity.start);
}

}  // namespace

Mp3Decoder::~Mp3Decoder() { close(); }

bool Mp3Decoder::open(const OpenedFile& file) {
  close();
  refusal_.clear();
  const auto audio = file.reader ? mpeg_audio_bytes(file) : nullptr;
  // Nothing is MPEG audio that a frame walk would not take for it: a stray sync in other data
  // would otherwise play as noise.
  const auto start = audio ? find_mpeg_audio(*audio, id3v2_tag_end(*audio)) : std::nullopt;
  if (!start) return false;
  audio_ = audio;
  audioStart_ = static_cast<std::uint32_t>(std::min(*start, kLargestOffset));
  mad_stream_init(&stream_);
  mad_frame_init(&frame_);
  synthesis_.mute();

  mad_header header;
  if (!scan_first_frames(*audio_, audioStart_, header, xing_)) {
    refusal_ = "no MPEG audio frame in it could be decoded";
    close();
    return false;
  }
  readPosition_ = audioStart_;
  fileSize_ = audioSize32();
  layer_ = header.layer;

  synthesised_ = 0;
  consumed_ = 0;
  pcm_ = &synthesis_.pcm();
  chunksDue_ = threads_ > 1;
  position_ = mad_timer_zero;
  if (xing_.flags & kXingFrames) {
    duration_ = header.duration;
    mad_timer_multiply(&duration_, xing_.frames);
  } else {
    mad_timer_set(&duration_, 0, 1, header.bitrate / 8);
    mad_timer_multiply(&duration_, fileSize_);
    // Only an estimate: the walk over every frame header makes it exact, without holding up the sound.
    if (walkInBackground_) lengthWalk_ = std::make_unique<Mp3LengthWalk>(audio, lengthListener_);
  }
  kbpsSum_ = 0;
  frameCount_ = 0;
  fill_ = 0;
  guardGiven_ = false;
  openingLengthSeconds_ = static_cast<std::int32_t>(mad_timer_count(duration_, MAD_UNITS_SECONDS));
  info_ = {.lengthSeconds = openingLengthSeconds_,
           .bitrateKbps = static_cast<std::int32_t>(header.bitrate / 1000),
           .sampleRate = static_cast<std::int32_t>(header.samplerate),
           .stereo = header.mode == MAD_MODE_SINGLE_CHANNEL ? 0 : 1,
           .sixteenBit = 1};
  return true;
}

void Mp3Decoder::close() {
  chunks_.reset();
  chunk_.reset();
  chunksDue_ = false;
  lengthWalk_.reset();
  if (!audio_) return;
  audio_.reset();
  mad_frame_finish(&frame_);
  mad_stream_finish(&stream_);
}

void Mp3Decoder::seek(std::uint32_t numerator, std::uint32_t denominator) {
  const auto aim = seek_fraction(numerator, denominator);
  if (!audio_ || !aim) return;
  chunks_.reset();
  chunk_.reset();
  chunksDue_ = false;
  double fraction = *aim;

  const Mp3FrameWalk* walk = lengthWalk_ ? lengthWalk_->result() : nullptr;
  if (walk != nullptr) {
    // Exact to the frame: the frame that holds the aimed-at time, and the time where it starts.
    const auto index = std::min<std::uint64_t>(static_cast<std::uint64_t>(fraction * static_cast<double>(walk->frames)),
                                               walk->frames - 1);
    const std::uint64_t samplesPerFrame = walk->samplesPerChannel / walk->frames;
    mad_timer_set(&position_, 0, static_cast<unsigned long>(index * samplesPerFrame), walk->sampleRate);
    fraction = static_cast<double>(walk->frameOffsets[index]) / fileSize_;
  } else {
    const long durationMs = mad_timer_count(duration_, MAD_UNITS_MILLISECONDS);
    const auto targetMs = static_cast<unsigned long>(static_cast<double>(durationMs) * fraction);
    mad_timer_set(&position_, targetMs / 1000, targetMs % 1000, 1000);
  }

  if (walk == nullptr && (xing_.flags & kXingToc)) {
    const double percent = fraction * 100.0;
    const auto index = static_cast<int>(percent);
    const double before = index < 100 ? xing_.toc[static_cast<std::size_t>(index)] : 256;
    const double after = index < 99 ? xing_.toc[static_cast<std::size_t>(index) + 1] : 256;
    fraction = (before + (after - before) * (percent - index)) * (1.0 / 256);
  }
  // Counted from the start of the file, but never into what lies before the first frame, where
  // libmad could take a stray sync for one.
  readPosition_ = std::max(static_cast<std::uint32_t>(fileSize_ * fraction), audioStart_);

  std::uint32_t got = 0;
  fill_ = readAudio(buffer_.data(), kBufferBytes, got) ? got : 0;
  guardGiven_ = false;
  mad_stream_buffer(&stream_, buffer_.data(), fill_);
  mad_frame_mute(&frame_);
  synthesis_.mute();

  if (numerator != 0) {
    // Two frames prime the bit reservoir and the overlap; their samples are not played.
    int decoded = 0;
    while (decoded < 2) {
      if (mad_frame_decode(&frame_, &stream_) == 0) {
        if (!isOfStream(frame_.header)) continue;
        ++decoded;
        mad_timer_add(&position_, frame_.header.duration);
      } else if (!MAD_RECOVERABLE(stream_.error)) {
        break;
      }
    }
    if (decoded == 2) synthesis_.synthesise(frame_);
  }
  synthesised_ = 0;
  consumed_ = 0;
}

StreamInfo Mp3Decoder::getInfo() {
  if (const Mp3FrameWalk* walk = lengthWalk_ ? lengthWalk_->result() : nullptr) {
    info_.lengthSeconds = static_cast<std::int32_t>(walk->seconds());
    mad_timer_set(&duration_, 0, static_cast<unsigned long>(walk->samplesPerChannel), walk->sampleRate);
  } else if (audio_ && !(xing_.flags & kXingFrames) && frameCount_ > 0) {
    const std::uint32_t averageKbps = kbpsSum_ / frameCount_;
    mad_timer_set(&duration_, 0, 1, averageKbps * 125);
    mad_timer_multiply(&duration_, fileSize_);
    if (mad_timer_compare(position_, duration_) > 0) {
      duration_ = position_;
      fileSize_ = audioSize32();  // the file may have grown meanwhile
    }
    info_.lengthSeconds = static_cast<std::int32_t>(mad_timer_count(duration_, MAD_UNITS_SECONDS));
  }
  return info_;
}

ReadResult Mp3Decoder::read(std::uint8_t* buffer, std::size_t& size) {
  const bool stereo = info_.stereo == 1;
  const std::size_t frameBytes = stereo ? 4 : 2;
  std::size_t wanted = size / frameBytes;
  std::size_t written = 0;
  size = 0;
  while (wanted > 0) {
    const std::size_t count = std::min<std::size_t>(synthesised_ - consumed_, wanted);
    if (count > 0) {
      convert(count, buffer + written);
      written += count * frameBytes;
      consumed_ += static_cast<std::uint32_t>(count);
      wanted -= count;
      if (wanted == 0) break;
    }
    if (const ReadResult decoded = nextFrame(); decoded != ReadResult::more) {
      size = written;
      return decoded;
    }
    const auto kbps = static_cast<std::uint32_t>(frameBitrate_ / 1000);
    kbpsSum_ += kbps;
    ++frameCount_;
    info_.bitrateKbps = static_cast<std::int32_t>(kbps);
    synthesised_ = pcm_->length;
    consumed_ = 0;
    mad_timer_add(&position_, frameDuration_);
  }
  size = written;
  return ReadResult::more;
}

const char* Mp3Decoder::openingLengthSource() const {
  if (xing_.flags & kXingFrames) return xing_.info ? "info" : "xing";
  return "estimate";
}

const char* Mp3Decoder::lengthSource() const {
  return lengthWalk_ && lengthWalk_->result() ? "frames" : openingLengthSource();
}

void Mp3Decoder::settleLength() {
  if (lengthWalk_) lengthWalk_->wait();
}

std::int32_t Mp3Decoder::getPosition() {
  return static_cast<std::int32_t>(mad_timer_count(position_, MAD_UNITS_SECONDS));
}

ReadResult Mp3Decoder::nextFrame() {
  if (chunksDue_) startChunks();
  if (chunks_) {
    if (nextChunkFrame()) return ReadResult::more;
    if (!takeOver()) return ReadResult::failed;
  }
  if (const ReadResult decoded = decodeFrame(); decoded != ReadResult::more) return decoded;
  synthesis_.synthesise(frame_);
  pcm_ = &synthesis_.pcm();
  frameBitrate_ = frame_.header.bitrate;
  frameDuration_ = frame_.header.duration;
  return ReadResult::more;
}

void Mp3Decoder::startChunks() {
  chunksDue_ = false;
  // Offsets here are 32-bit, as everywhere in this decoder.
  if (audio_->size() >= std::numeric_limits<std::uint32_t>::max()) return;
  // The offsets take 8 bytes a frame: a file of more frames (some 15 hours) stays on one thread,
  // which keeps the memory bound. Only a file large enough to hold that many is counted first.
  constexpr std::uint64_t kMostFrames = 2 << 20;
  constexpr std::uint64_t kSmallestFrame = 24;  // layer III of MPEG 2 at 8 kbit/s and 24 kHz
  if (audio_->size() > kMostFrames * kSmallestFrame && walk_mp3_frames(*audio_).frames > kMostFrames) return;
  Mp3FrameWalk walk = walk_mp3_frames(*audio_, true);
  if (walk.result != AudioFileResult::ok || walk.sampleRate != static_cast<unsigned int>(info_.sampleRate)) return;
  std::vector<std::uint64_t> offsets = std::move(walk.frameOffsets);
  // libmad decodes a tag frame as a frame of silence.
  if (walk.tagFrame) offsets.insert(offsets.begin(), audioStart_);
  // A file of a chunk or two gains nothing; where the walk starts elsewhere, its frames are not
  // those decoded here.
  if (offsets.size() <= 2 * Mp3ChunkedDecode::kFramesPerChunk || offsets.front() != audioStart_) return;
  chunks_ = std::make_unique<Mp3ChunkedDecode>(audio_, std::move(offsets), info_.sampleRate, layer_, threads_);
  window_ = audioStart_;
  audioSize_ = audio_->size();
}

bool Mp3Decoder::nextChunkFrame() {
  while (!chunk_ || chunkFrame_ == chunk_->frameCount) {
    auto next = chunks_->next();
    if (!next || !next->clean) return false;
    chunk_ = std::move(next);
    chunkFrame_ = 0;
  }
  // Where this decoder's buffer would stand had it decoded the frame itself: it reads a buffer
  // full from a frame that no longer fits with the guard behind it.
  const std::vector<std::uint64_t>& offsets = chunks_->offsets();
  const std::size_t index = chunk_->firstFrame + chunkFrame_;
  const std::uint64_t end = chunkFrame_ + 1 < chunk_->frameCount ? offsets[index + 1] : chunk_->endOffset;
  const std::uint64_t windowEnd = window_ + std::min<std::uint64_t>(kBufferBytes, audioSize_ - window_);
  if (end + MAD_BUFFER_GUARD > windowEnd) window_ = offsets[index];

  const Mp3DecodedFrame& frame = chunk_->frames[chunkFrame_++];
  pcm_ = &frame.pcm;
  frameBitrate_ = frame.bitrate;
  frameDuration_ = frame.duration;
  return true;
}

bool Mp3Decoder::takeOver() {
  chunks_.reset();
  if (!chunk_) return true;  // nothing decoded yet: this decoder starts at the start
  const Mp3CarriedState& state = *chunk_->state;
  if (state.hasMainData && stream_.main_data == nullptr) {
    stream_.main_data = static_cast<unsigned char(*)[MAD_BUFFER_MDLEN]>(std::malloc(MAD_BUFFER_MDLEN));
  }
  if (state.hasMainData && stream_.main_data != nullptr) {
    std::memcpy(*stream_.main_data, state.mainData, sizeof state.mainData);
    stream_.md_len = state.mainDataLength;
  }
  if (frame_.overlap == nullptr) {
    frame_.overlap = static_cast<mad_fixed_t(*)[2][32][18]>(std::calloc(1, sizeof state.overlap));
  }
  if (frame_.overlap != nullptr) std::memcpy(*frame_.overlap, state.overlap, sizeof state.overlap);
  synthesis_ = state.synthesis;
  const std::uint64_t end = chunk_->endOffset;
  chunk_.reset();

  // The buffer as it would hold the file had this decoder read on from the start: over damage,
  // where libmad finds the next frame depends on where the buffer ends.
  readPosition_ = window_;
  std::uint32_t got = 0;
  const bool readable = readAudio(buffer_.data(), kBufferBytes, got);
  fill_ = got;
  mad_stream_buffer(&stream_, buffer_.data(), fill_);
  stream_.this_frame = stream_.next_frame = buffer_.data() + (end - window_);
  return readable;
}

ReadResult Mp3Decoder::decodeFrame() {
  for (;;) {
    if (mad_frame_decode(&frame_, &stream_) == 0) {
      if (isOfStream(frame_.header)) return ReadResult::more;
    } else if (!MAD_RECOVERABLE(stream_.error)) {  // libmad resynchronises by itself over the others
      if (const ReadResult refilled = refill(); refilled != ReadResult::more) return refilled;
    }
  }
}

ReadResult Mp3Decoder::refill() {
  if (stream_.next_frame != nullptr) {
    fill_ = static_cast<std::uint32_t>(buffer_.data() + fill_ - stream_.next_frame);
    std::memmove(buffer_.data(), stream_.next_frame, fill_);
  }
  // A buffer still full after the move reads nothing: the stream ends.
  const std::uint32_t room = fill_ < kBufferBytes ? kBufferBytes - fill_ : 0;
  std::uint32_t got = 0;
  const bool readable = readAudio(buffer_.data() + fill_, room, got);
  fill_ += got;
  const bool guardDue = readable && got == 0 && room > 0 && !guardGiven_;
  if (guardDue) {
    std::fill_n(buffer_.data() + fill_, MAD_BUFFER_GUARD, 0);
    fill_ += MAD_BUFFER_GUARD;
    guardGiven_ = true;
  }
  // The stream is pointed at the moved bytes even at the end, so a later read finds it whole.
  mad_stream_buffer(&stream_, buffer_.data(), fill_);
  if (!readable) return ReadResult::failed;
  return got > 0 || guardDue ? ReadResult::more : ReadResult::end;
}

bool Mp3Decoder::readAudio(unsigned char* into, std::uint32_t count, std::uint32_t& got) {
  const std::uint64_t room = readPosition_ < kLargestOffset ? kLargestOffset - readPosition_ : 0;
  const auto outcome =
      audio_->readAt(readPosition_, into, static_cast<std::size_t>(std::min<std::uint64_t>(count, room)));
  got = static_cast<std::uint32_t>(outcome.bytes);
  readPosition_ += got;
  return outcome.status != AudioFileResult::readFailed;
}

std::uint32_t Mp3Decoder::audioSize32() const {
  return static_cast<std::uint32_t>(std::min(audio_->size(), kLargestOffset));
}

void Mp3Decoder::convert(std::size_t count, std::uint8_t* out) {
  const mad_pcm& pcm = *pcm_;
  const mad_fixed_t* left = pcm.samples[0] + consumed_;
  if (info_.stereo != 1) {
    dither_to_16(dither_.left(), left, count, out, 2);
    return;
  }
  // A frame of one channel in a stereo stream is heard on both sides.
  const mad_fixed_t* right = pcm.channels == 2 ? pcm.samples[1] + consumed_ : left;
  dither_stereo_to_16(left, right, count, out, dither_.left(), dither_.right());
}

}  // namespace tunekiln
