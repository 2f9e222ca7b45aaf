#pragma once

namespace ovc {

// The MP3 encoder's parameters, set by number with Mp3Encoder::SetParameter
// before InitParameters. Numbers not listed here are rejected. Each parameter
// goes to one setting of the encoder library; its unit and values are given
// beside it. Unset parameters keep the library's defaults.
enum Mp3Parameter : int {
  // Constant bit rate in kbit/s. InitParameters moves it to the nearest rate
  // that the output sampling rate allows (e.g. 192 at 22050 Hz becomes 160);
  // Mp3Encoder::bit_rate_kbps() tells the rate in use.
  kMp3BitRate = 0,
  // Speed against quality of the psychoacoustics: 0 best and slowest .. 9 fastest.
  kMp3Quality = 1,
  // Sampling rate of the MP3 stream in Hz (8000 .. 48000, one of the nine
  // MPEG rates); the encoder resamples from kMp3InputSampleRate. 0 = chosen
  // by the encoder.
  kMp3OutputSampleRate = 2,
  // Channel mode of the stream: 0 stereo, 1 joint stereo, 2 dual channel,
  // 3 mono, 4 chosen by the encoder.
  kMp3ChannelMode = 3,
  // Channels of the samples handed to the encode calls: 1 or 2. With 2 the
  // mono call feeds its samples to both channels; with 1 the two-channel call
  // uses only the left samples.
  kMp3InputChannels = 4,
  // Sampling rate of the samples handed to the encode calls, in Hz.
  kMp3InputSampleRate = 5,
  // Gain applied to the input, in percent (100 = unchanged).
  kMp3InputGainPercent = 6,
  // Header flags, 0 or 1: copyright, CRC error protection, private bit.
  kMp3Copyright = 7,
  kMp3ErrorProtection = 8,
  kMp3PrivateBit = 9,
  // De-emphasis the decoder is told to apply: 0 none, 1 50/15 us, 3 CCITT J.17.
  kMp3Emphasis = 10,
  // Low-pass and high-pass filters on the input, in Hz: frequency 0 = chosen
  // from the bit rate, -1 = no filter; width -1 = the encoder's default
  // transition band.
  kMp3LowpassFrequency = 17,
  kMp3LowpassWidth = 18,
  kMp3HighpassFrequency = 19,
  kMp3HighpassWidth = 20,
  // Variable bit rate: 0 off (constant kMp3BitRate), 2 old VBR, 3 average
  // bit rate, 4 (or 1) new VBR.
  kMp3VbrMode = 21,
  // VBR quality 0 best .. 9, and its bit rate limits in kbit/s (0 = none).
  kMp3VbrQuality = 22,
  kMp3VbrMinBitRate = 23,
  kMp3VbrMaxBitRate = 24,
  // Limit on the size of one frame's data including the bit reservoir:
  // 0 the encoder's default, 1 strict ISO, 2 the largest the format allows.
  kMp3FrameSizeLimit = 25,
  // 1 = no bit reservoir (every frame carries only its own data).
  kMp3DisableReservoir = 26,
  // Header flag "original", 0 or 1.
  kMp3Original = 27,
  // Gapless sequence: number of tracks and this track's index from 0.
  kMp3TracksInSequence = 36,
  kMp3TrackIndex = 37,
  // 1 = the first frame is an information frame (Xing/Info tag) that the
  // encoder reserves for a file player. Inside a container it would decode as
  // an extra frame of silence, so containers set 0.
  kMp3WriteInfoFrame = 38,
};

}  // namespace ovc
