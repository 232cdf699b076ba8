#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/calivo/calibration_record.h"

namespace zorvan::calivo {

// The text form of a calibration, for --export and --import:
//
//   # '#' starts a comment, on a line of its own or after the values
//   DotCount = 3            # grid form: 2 (2 x 2), 3 (3 x 3) or 5 (5 columns x 4 rows)
//   Dot0 = 512 384          # raw x and y (0..4095) of each dot, numbered column by
//   ...                     # column from the top left: Dot0 .. Dot<n-1>, all required
//   TKey12 = 4000 100       # optional soft keys 0, 1, 2, 12 and 26, touch mode (TKey)
//   EKey12 = 4010 96        # and pen mode (EKey); one left out keeps its stored value
//
// Names are case-sensitive, each may appear once, in any order.
std::string formatCalibration(const CalibrationRecord& record);

struct ParsedCalibration {
    std::optional<CalibrationRecord> record;
    // "<source>:<line>: <what is wrong>", or "<source>: <what is wrong>" for
    // something missing from the whole file.
    std::string error;
};

// Reads the text form. Rejects anything malformed, incomplete, out of range,
// repeated or unknown, and a grid that fails the driver's spacing check.
ParsedCalibration parseCalibration(std::string_view text, const std::string& source);

// The shortest decimal that reads back as exactly `value`.
std::string formatRaw(float value);

}  // namespace zorvan::calivo
