// The GEDZIP module: archives written entry by entry or at once, and read
// back within bounds. Each concept has its own header:
//   gedzip_paths.hpp   the bounds, the entry-name rules, the dedupe key, store or deflate
//   gedzip_io.hpp      byte sinks and sources, and the counting sink wrapper
//   gedzip_writer.hpp  the archive writer and the one-shot write_archive
//   gedzip_reader.hpp  the archive reader
//   gedzip_zip.hpp     the ZIP records both sides write and read
#pragma once

#include "gedzip_io.hpp"
#include "gedzip_paths.hpp"
#include "gedzip_reader.hpp"
#include "gedzip_writer.hpp"
