#pragma once

#include <memory>
#include <string>

#include "common/mutex.h"

namespace ovc {

struct LameFunctions;

// The shared library name of the MP3 encoder, and the environment variable
// that replaces it (a path or another name) when set and not empty.
inline constexpr char kMp3LibraryName[] = "libmp3lame.so.0";
inline constexpr char kMp3LibraryVariable[] = "OVC_MP3_LIBRARY";

// The MP3 encoder library, loaded at run time. Each name is loaded at most
// once per process, on first use, and stays loaded; the objects live until
// the process ends, so references to them never dangle. Safe from any thread.
//
// A library that cannot be opened, or that lacks any entry point the encoder
// needs, counts as not loaded; the reason is traced once.
class Mp3Library {
 public:
  // The library named by $OVC_MP3_LIBRARY, else kMp3LibraryName. The variable
  // is read on every call, so a test can point it at a missing file.
  static const Mp3Library& Default();
  // The library of that name (a file name searched the usual way, or a path).
  static const Mp3Library& Named(const std::string& name);

  ~Mp3Library();
  Mp3Library(const Mp3Library&) = delete;
  Mp3Library& operator=(const Mp3Library&) = delete;

  bool loaded() const { return functions_ != nullptr; }
  const std::string& name() const { return name_; }

 private:
  friend class Mp3Encoder;

  explicit Mp3Library(std::string name);

  // Null when not loaded.
  const LameFunctions* functions() const { return functions_.get(); }
  // The library builds shared tables the first time an encoder is created
  // and initialised; creating and initialising are serialised by this lock.
  Mutex& setup_lock() const OVC_RETURN_CAPABILITY(setup_lock_) { return setup_lock_; }

  const std::string name_;
  void* handle_ = nullptr;
  std::unique_ptr<LameFunctions> functions_;
  mutable Mutex setup_lock_;
};

}  // namespace ovc
