#include "tools/calivo/calibration_file.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

namespace zorvan::calivo {

namespace {

constexpr float kRawMax = 4095.0f;

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while ((pos = text.find_first_not_of(" \t", pos)) != std::string_view::npos) {
        const auto end = text.find_first_of(" \t", pos);
        out.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end;
    }
    return out;
}

bool parseNumber(std::string_view word, double& out) {
    const auto result = std::from_chars(word.data(), word.data() + word.size(), out);
    return result.ec == std::errc() && result.ptr == word.data() + word.size();
}

// "Dot7" -> 7, "TKey12" -> 12; -1 when `name` is not prefix + a plain number.
int numberAfter(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix || name.size() == prefix.size() ||
        name.size() > prefix.size() + 3) {
        return -1;
    }
    const std::string_view digits = name.substr(prefix.size());
    if (digits.size() > 1 && digits[0] == '0') {
        return -1;
    }
    int value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return result.ec == std::errc() && result.ptr == digits.data() + digits.size() ? value : -1;
}

int softKeySlot(int key) {
    for (std::size_t n = 0; n < kStoredSoftKeys.size(); ++n) {
        if (kStoredSoftKeys[n] == key) {
            return static_cast<int>(n);
        }
    }
    return -1;
}

void formatKeys(std::ostringstream& out, char mode, const CalibrationRecord::SoftKeys& keys) {
    for (std::size_t n = 0; n < kStoredSoftKeys.size(); ++n) {
        if (keys[n]) {
            out << mode << "Key" << kStoredSoftKeys[n] << " = " << formatRaw(keys[n]->x) << ' '
                << formatRaw(keys[n]->y) << '\n';
        }
    }
}

struct Parser {
    const std::string& source;
    std::string error;
    CalibrationRecord record;
    int dotCountLine = 0;
    std::map<int, std::pair<RawPoint, int>> dots;  // dot -> point, line
    std::map<std::string, int, std::less<>> seen;  // name -> line

    bool fail(int line, const std::string& what) {
        error = source + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool point(int line, std::string_view name, const std::vector<std::string_view>& values,
               RawPoint& out) {
        if (values.size() != 2) {
            return fail(line, std::string(name) + " needs two numbers, raw x and raw y");
        }
        double xy[2];
        for (int axis = 0; axis < 2; ++axis) {
            if (!parseNumber(values[axis], xy[axis])) {
                return fail(line, "'" + std::string(values[axis]) + "' is not a number");
            }
            if (!(xy[axis] >= 0.0 && xy[axis] <= kRawMax)) {
                return fail(line, "'" + std::string(values[axis]) +
                                      "' is not a raw coordinate (0 to 4095)");
            }
        }
        out = {static_cast<float>(xy[0]), static_cast<float>(xy[1])};
        return true;
    }

    bool entry(int line, std::string_view name, const std::vector<std::string_view>& values) {
        if (const auto previous = seen.find(name); previous != seen.end()) {
            return fail(line, std::string(name) + " is given twice (first on line " +
                                  std::to_string(previous->second) + ")");
        }
        seen.emplace(std::string(name), line);
        if (name == "DotCount") {
            int count = 0;
            const std::string_view word = values.size() == 1 ? values[0] : std::string_view();
            const auto parsed = std::from_chars(word.data(), word.data() + word.size(), count);
            if (values.size() != 1 || parsed.ec != std::errc() ||
                parsed.ptr != word.data() + word.size() || !gridForm(count)) {
                return fail(line, "DotCount must be 2, 3 or 5");
            }
            record.dotCount = count;
            dotCountLine = line;
            return true;
        }
        if (const int dot = numberAfter(name, "Dot"); dot >= 0) {
            RawPoint p;
            if (!point(line, name, values, p)) {
                return false;
            }
            dots[dot] = {p, line};
            return true;
        }
        for (const char mode : {'T', 'E'}) {
            const int key = numberAfter(name, mode == 'T' ? "TKey" : "EKey");
            if (key < 0) {
                continue;
            }
            const int slot = softKeySlot(key);
            if (slot < 0) {
                return fail(line, "soft key " + std::to_string(key) +
                                      " is not stored (only 0, 1, 2, 12 and 26)");
            }
            RawPoint p;
            if (!point(line, name, values, p)) {
                return false;
            }
            (mode == 'T' ? record.touchKeys : record.penKeys)[slot] = p;
            return true;
        }
        return fail(line, "unknown name '" + std::string(name) + "'");
    }

    bool finish() {
        if (dotCountLine == 0) {
            error = source + ": DotCount is missing";
            return false;
        }
        const GridForm form = *gridForm(record.dotCount);
        for (const auto& [dot, entry] : dots) {
            if (dot >= form.dots()) {
                return fail(entry.second, "Dot" + std::to_string(dot) + " is beyond the " +
                                              std::to_string(form.dots()) + " dots of DotCount " +
                                              std::to_string(record.dotCount));
            }
        }
        for (int dot = 0; dot < form.dots(); ++dot) {
            if (dots.count(dot) == 0) {
                error = source + ": Dot" + std::to_string(dot) + " is missing (DotCount " +
                        std::to_string(record.dotCount) + " needs Dot0 to Dot" +
                        std::to_string(form.dots() - 1) + ")";
                return false;
            }
            record.dots.push_back(dots[dot].first);
        }
        // The driver's rule, pair by pair, so that the message can name both lines.
        for (int i = 1; i < form.columns; ++i) {
            for (int j = 0; j + 1 < form.rows; ++j) {
                const int lowerRight = i * form.rows + j + 1;
                const int upperLeft = (i - 1) * form.rows + j;
                if (!diagonalSpacingOk(dots[lowerRight].first, dots[upperLeft].first)) {
                    return fail(dots[lowerRight].second,
                                "Dot" + std::to_string(lowerRight) +
                                    " must lie at least 20 raw units right of and below Dot" +
                                    std::to_string(upperLeft) + " (line " +
                                    std::to_string(dots[upperLeft].second) + ")");
                }
            }
        }
        return true;
    }
};

}  // namespace

std::string formatRaw(float value) {
    // Widened to double first, so the text reads back exactly, also as a double.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(value)).ptr;
    return std::string(text, end);
}

std::string formatCalibration(const CalibrationRecord& record) {
    std::ostringstream out;
    out << "# Zorvan calibration: raw board coordinates (0 to 4095) of each dot,\n"
           "# numbered column by column from the top left, and of the soft keys.\n";
    out << "DotCount = " << record.dotCount << '\n';
    for (std::size_t k = 0; k < record.dots.size(); ++k) {
        out << "Dot" << k << " = " << formatRaw(record.dots[k].x) << ' '
            << formatRaw(record.dots[k].y) << '\n';
    }
    formatKeys(out, 'T', record.touchKeys);
    formatKeys(out, 'E', record.penKeys);
    return out.str();
}

ParsedCalibration parseCalibration(std::string_view text, const std::string& source) {
    Parser parser{source, {}, {}, 0, {}, {}};
    int line = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto newline = text.find('\n', pos);
        const std::string_view raw = text.substr(
            pos, newline == std::string_view::npos ? std::string_view::npos : newline - pos);
        pos = newline == std::string_view::npos ? text.size() + 1 : newline + 1;
        ++line;
        // '#' starts a comment wherever it stands: after the values too.
        const std::string_view content = trim(raw.substr(0, raw.find('#')));
        if (content.empty()) {
            continue;
        }
        const auto equals = content.find('=');
        if (equals == std::string_view::npos) {
            parser.fail(line, "expected NAME = VALUE");
            return {std::nullopt, parser.error};
        }
        const std::string_view name = trim(content.substr(0, equals));
        if (!parser.entry(line, name, words(content.substr(equals + 1)))) {
            return {std::nullopt, parser.error};
        }
    }
    if (!parser.finish()) {
        return {std::nullopt, parser.error};
    }
    return {parser.record, {}};
}

}  // namespace zorvan::calivo
