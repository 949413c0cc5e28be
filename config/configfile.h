#pragma once

#include "modules/moduletable.h"
#include "result/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

// A configuration file (.cfg) is a fixed image of 550 raw bytes:
//
//   offset   0..5    header, the bytes 0 1 2 3 4 5
//   offset   6       sample period in seconds, low 8 bits of Period
//   offset   7..510  63 blocks of 8 input type codes (0..5), module 1 first;
//                    the block of module m starts at 7 + 8 * (m - 1)
//   offset 511..516  trailer, the bytes 0 1 2 3 4 5
//   offset 517..549  filler, written as zeros, never looked at
//
// A file counts when its first 517 bytes are there and valid; anything past
// byte 550 is not even read.
//
// Loading, as the File menu and start-up do it:
//
//     const Result<QByteArray> bytes = ReadConfigFile(name);
//     if (!bytes)
//         return;                          // cannot be opened: not shown
//     const Result<ConfigImage> image = ParseConfigImage(*bytes, name);
//     if (!image) {
//         ...                              // "Error in Configuration File."
//         return;
//     }
//     ApplyConfigImage(*image, table);
//     period = image->period;
//
// Nothing of a rejected file reaches the table or the period: the period
// byte of a file that fails its checks is bad input, not a setting.

inline constexpr int kConfigFileSize = 550;
inline constexpr int kConfigFileMinSize = 517;

// An accepted image.
struct ConfigImage
{
    // Sample period in seconds, 0..255.
    int period = 0;
    // input_type[k][m]: code 0..5 of input k (1..8) of module m (1..63),
    // indexed like ModuleTable::input_type.
    std::array<std::array<int, kModuleCount + 1>, kInputCount + 1> input_type{};
};

// The image to save: a module's block holds its eight codes when the module is
// visible in the configuration tree (its group expanded and the module
// selected), eight zeros otherwise; a code outside 0..5 is written as 0. The
// period byte is the low 8 bits of period (300 is written as 44).
QByteArray BuildConfigImage(const ModuleTable &table, int period);

// Judges the bytes of a file. Accepted when at least 517 bytes are there and
// the header, every code (0..5) and the trailer are valid; bytes past 550 and
// the filler are ignored. A failure names the file by fileName and says the
// first thing found wrong.
Result<ConfigImage> ParseConfigImage(QByteArrayView bytes, const QString &fileName);

// Puts an accepted image into the table: input_type from the codes; every
// group collapsed (2), then a module with any code above 0 is selected (3)
// and its group expanded (3), every other module deselected (2). The image's
// period is the caller's to take.
void ApplyConfigImage(const ConfigImage &image, ModuleTable &table);

// Reads at most the first 550 bytes of the file at path, which must be a
// regular file (a FIFO, a device or a folder is refused without blocking). A
// failure means the file could not be opened or read; callers keep that one
// from the user.
Result<QByteArray> ReadConfigFile(const QString &path);

// Replaces the file at path with bytes, atomically: the bytes go to a new file
// in the same folder, which then takes the old one's place. A save that fails
// at any point leaves the old file as it was and returns a failure that says
// which file and why. Where no new file can be made in the folder but the
// file itself is writable, the bytes are written over it in place instead
// (the only case in which a failed save can leave the old file changed; the
// failure then says so). The new file is "<path>.kelvora-XXXXXX"; a save
// killed before its rename can leave it behind, and the next save of path
// removes such files of this user's. The old file's
// permissions carry over; a symbolic link is followed and stays.
Result<> WriteConfigFile(const QString &path, const QByteArray &bytes);
