#include "StereoCalibration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <opencv2/core.hpp>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Distortion vectors OpenCV writes: k1 k2 p1 p2 [k3 [k4 k5 k6 [s1 s2 s3 s4 [tx ty]]]].
bool DistortionLength(int length)
{
    return length == 4 || length == 5 || length == 8 || length == 12 || length == 14;
}

template <size_t N> cv::Mat Wrap(const std::array<double, N>& values, int rows)
{
    return cv::Mat(rows, int(N) / rows, CV_64F, const_cast<double*>(values.data()));
}

cv::Mat Wrap(const std::vector<double>& values)
{
    return cv::Mat(1, int(values.size()), CV_64F, const_cast<double*>(values.data()));
}

// A matrix of the file as doubles, all finite; empty, with the reason, when it is not there or
// not so.
cv::Mat ReadMatrix(const cv::FileStorage& file, const char* key, std::string& out_reason)
{
    const cv::FileNode node = file[key];
    if (node.empty()) {
        out_reason = std::string("no ") + key;
        return {};
    }
    cv::Mat matrix;
    if (!node.isMap()) {
        out_reason = std::string(key) + " is not a matrix";
        return {};
    }
    // No calibration matrix has more than 16 values; a larger size would be allocated whole
    // before its data is looked at.
    const cv::FileNode rows = node["rows"], cols = node["cols"];
    if (!rows.isInt() || !cols.isInt() || int(rows) < 1 || int(cols) < 1 ||
        int64_t(int(rows)) * int(cols) > 16) {
        out_reason = std::string(key) + " is not a matrix of a calibration's size";
        return {};
    }
    node >> matrix;
    if (matrix.empty() || matrix.channels() != 1) {
        out_reason = std::string(key) + " is not a matrix";
        return {};
    }
    matrix.convertTo(matrix, CV_64F);
    if (!cv::checkRange(matrix)) {
        out_reason = std::string(key) + " holds a value that is not a number";
        return {};
    }
    return matrix;
}

template <size_t N>
bool ReadFixed(const cv::FileStorage& file, const char* key, int rows, std::array<double, N>& out,
               std::string& out_reason)
{
    const cv::Mat matrix = ReadMatrix(file, key, out_reason);
    if (matrix.empty())
        return false;
    const int columns = int(N) / rows;
    if (matrix.rows != rows || matrix.cols != columns) {
        out_reason = std::string(key) + " is " + std::to_string(matrix.rows) + "x" +
                     std::to_string(matrix.cols) + ", not " + std::to_string(rows) + "x" +
                     std::to_string(columns);
        return false;
    }
    std::copy(matrix.begin<double>(), matrix.end<double>(), out.begin());
    return true;
}

bool ReadDistortion(const cv::FileStorage& file, const char* key, std::vector<double>& out,
                    std::string& out_reason)
{
    const cv::Mat matrix = ReadMatrix(file, key, out_reason);
    if (matrix.empty())
        return false;
    if (std::min(matrix.rows, matrix.cols) != 1 || !DistortionLength(int(matrix.total()))) {
        out_reason = std::string(key) + " is " + std::to_string(matrix.rows) + "x" +
                     std::to_string(matrix.cols) + ", not a row of 4, 5, 8, 12 or 14";
        return false;
    }
    out.assign(matrix.begin<double>(), matrix.end<double>());
    return true;
}

bool ReadSize(const cv::FileStorage& file, const char* key, int& out, std::string& out_reason)
{
    const cv::FileNode node = file[key];
    if (!node.isInt() || int(node) <= 0) {
        out_reason =
            node.empty() ? std::string("no ") + key : std::string(key) + " is not a size in pixels";
        return false;
    }
    out = int(node);
    return true;
}

// Far more than any calibration's text; a larger file is not read into memory.
constexpr long kMaxFileBytes = 1 << 20;
// OpenCV splits longer lines, and the pieces would start lines of their own.
constexpr size_t kMaxLineBytes = 1000;

bool ReadText(const std::string& path, std::string& out_text, std::string& out_reason)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        out_reason = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    out_text.assign(size_t(kMaxFileBytes) + 1, '\0');
    out_text.resize(std::fread(out_text.data(), 1, out_text.size(), file));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        out_reason = "cannot read " + path;
        return false;
    }
    if (out_text.size() > size_t(kMaxFileBytes)) {
        out_reason = "too large for a calibration file";
        return false;
    }
    return true;
}

// OpenCV 4.6's reader loops forever on some files of more than one document (a second one
// that starts with '-'). A calibration is one mapping: its keys start their lines, after the
// directives, and everything else is indented under them. Other text never reaches OpenCV.
bool IsOneMapping(const std::string& text, std::string& out_reason)
{
    bool keys = false;
    int number = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const auto refuse = [&](const char* what) {
            out_reason = "not a calibration file: line " + std::to_string(number + 1) + " " + what;
            return false;
        };
        if (line.size() > kMaxLineBytes)
            return refuse("is too long");
        if (line.find('\0') != std::string_view::npos)
            return refuse("holds a zero byte");
        const size_t content = line.find_first_not_of(" \r");
        if (content == std::string_view::npos || line[content] == '#')
            continue;
        if (content > 0) {
            if (!keys)
                return refuse("is indented under no key");
            continue;
        }
        if (!keys && (line[0] == '%' || line.substr(0, 3) == "---"))
            continue;
        if ((std::isalnum(static_cast<unsigned char>(line[0])) || line[0] == '_') &&
            line.find(':') != std::string_view::npos) {
            keys = true;
            continue;
        }
        return refuse("is not a key");
    }
    if (!keys)
        out_reason = "not a calibration file";
    return keys;
}

bool Read(const std::string& path, StereoCalibration& out, std::string& out_reason)
{
    std::string text;
    if (!ReadText(path, text, out_reason) || !IsOneMapping(text, out_reason))
        return false;
    cv::FileStorage file(text, cv::FileStorage::READ | cv::FileStorage::MEMORY |
                                   cv::FileStorage::FORMAT_YAML);
    if (!file.isOpened() || file.root().empty()) {
        out_reason = "not a calibration file";
        return false;
    }
    if (!ReadSize(file, "image_width", out.image_width, out_reason) ||
        !ReadSize(file, "image_height", out.image_height, out_reason) ||
        !ReadFixed(file, "M1", 3, out.M1, out_reason) ||
        !ReadDistortion(file, "D1", out.D1, out_reason) ||
        !ReadFixed(file, "M2", 3, out.M2, out_reason) ||
        !ReadDistortion(file, "D2", out.D2, out_reason) ||
        !ReadFixed(file, "R", 3, out.R, out_reason) ||
        !ReadFixed(file, "T", 3, out.T, out_reason) ||
        !ReadFixed(file, "R1", 3, out.R1, out_reason) ||
        !ReadFixed(file, "R2", 3, out.R2, out_reason) ||
        !ReadFixed(file, "P1", 3, out.P1, out_reason) ||
        !ReadFixed(file, "P2", 3, out.P2, out_reason) ||
        !ReadFixed(file, "Q", 4, out.Q, out_reason))
        return false;
    // Our own keys are optional: other tools' files have none.
    if (const cv::FileNode rms = file["rms"]; rms.isReal() || rms.isInt()) {
        out.rms = double(rms);
        if (!std::isfinite(out.rms) || out.rms < 0.0) {
            out_reason = "rms is not an error in pixels";
            return false;
        }
    }
    if (const cv::FileNode board = file["board"]; board.isMap()) {
        out.board.columns = int(board["columns"]);
        out.board.rows = int(board["rows"]);
        out.board.squareMm = double(board["square_mm"]);
        if (out.board.columns < 2 || out.board.rows < 2 || !(out.board.squareMm > 0.0) ||
            !std::isfinite(out.board.squareMm)) {
            out_reason = "board is not a chessboard";
            return false;
        }
    }
    return true;
}

} // namespace

bool StereoCalibration::fitsFrame(int width, int height, std::string& out_reason) const
{
    if (width <= 0 || height <= 0 || image_width <= 0 || image_height <= 0)
        return true; // nothing to compare: the rectifier tells what is missing
    // Sizes that round to whole pixels differ a little in aspect; a half percent is no shape.
    const double calibrated = double(image_width) / image_height, frame = double(width) / height;
    if (std::abs(calibrated / frame - 1.0) <= 0.005)
        return true;
    const auto shape = [](int w, int h) {
        return std::to_string(w) + " x " + std::to_string(h) + " (" +
               std::to_string(w / std::gcd(w, h)) + ":" + std::to_string(h / std::gcd(w, h)) + ")";
    };
    out_reason = "it was made on pictures of " + shape(image_width, image_height) +
                 ", the cameras now give " + shape(width, height);
    return false;
}

StereoCalibration StereoCalibration::scaled(int width, int height) const
{
    StereoCalibration result = *this;
    if (width <= 0 || height <= 0 || image_width <= 0 || image_height <= 0)
        return result;
    const double sx = double(width) / image_width, sy = double(height) / image_height;
    for (std::array<double, 9>* M : {&result.M1, &result.M2}) {
        (*M)[0] *= sx; // fx, cx
        (*M)[2] *= sx;
        (*M)[4] *= sy; // fy, cy
        (*M)[5] *= sy;
    }
    // The projections' first row is in pixels across (the right one's baseline term too), the
    // second in pixels down.
    for (std::array<double, 12>* P : {&result.P1, &result.P2})
        for (int i = 0; i < 4; ++i) {
            (*P)[i] *= sx;
            (*P)[4 + i] *= sy;
        }
    // Q takes (x, y, disparity, 1) in pixels: its centre, focal length and the term of the
    // principal points' difference scale with them.
    result.Q[3] *= sx;
    result.Q[7] *= sy;
    result.Q[11] *= sx;
    result.Q[15] *= sx;
    result.image_width = width;
    result.image_height = height;
    return result;
}

bool StereoCalibration::Save(const std::string& path, std::string& out_reason) const
{
    // Written aside and renamed, so a failure leaves no file and no half of one.
    const std::string partial = path + ".partial";
    // Tried first for the system's reason, as OpenCV only logs it.
    FILE* probe = std::fopen(partial.c_str(), "w");
    if (probe == nullptr) {
        out_reason = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(probe);
    try {
        cv::FileStorage file(partial, cv::FileStorage::WRITE | cv::FileStorage::FORMAT_YAML);
        if (!file.isOpened()) {
            out_reason = "cannot write " + path;
            return false;
        }
        file << "image_width" << image_width << "image_height" << image_height;
        file << "M1" << Wrap(M1, 3) << "D1" << Wrap(D1) << "M2" << Wrap(M2, 3) << "D2" << Wrap(D2);
        file << "R" << Wrap(R, 3) << "T" << Wrap(T, 3) << "R1" << Wrap(R1, 3) << "R2"
             << Wrap(R2, 3);
        file << "P1" << Wrap(P1, 3) << "P2" << Wrap(P2, 3) << "Q" << Wrap(Q, 4);
        file << "rms" << rms;
        file << "board"
             << "{"
             << "columns" << board.columns << "rows" << board.rows << "square_mm" << board.squareMm
             << "}";
        file.release();
        // What would not load again is not written: an empty or non-finite matrix, no size.
        StereoCalibration check;
        std::string reason;
        if (!Read(partial, check, reason)) {
            std::remove(partial.c_str());
            out_reason = "cannot write " + path + ": " + reason;
            return false;
        }
    } catch (const cv::Exception& e) {
        std::remove(partial.c_str());
        out_reason = "cannot write " + path + ": " + e.err;
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        out_reason = "cannot write " + path;
        return false;
    }
    return true;
}

bool StereoCalibration::Load(const std::string& path, StereoCalibration& out_calibration,
                             std::string& out_reason)
{
    // Asked first, as OpenCV logs an unreadable file and throws on an empty one.
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        access(path.c_str(), R_OK) != 0) {
        out_reason = "cannot read " + path;
        return false;
    }
    if (status.st_size == 0) {
        out_reason = "the file is empty";
        return false;
    }
    StereoCalibration read;
    try {
        if (!Read(path, read, out_reason))
            return false;
    } catch (const cv::Exception& e) {
        // OpenCV's parser throws on a damaged file; its message names the line.
        out_reason = "damaged: " + e.err;
        return false;
    } catch (const std::exception&) {
        // Some damage escapes it as a standard exception (a length read as a huge number).
        out_reason = "damaged: OpenCV cannot parse it";
        return false;
    }
    out_calibration = read;
    return true;
}
