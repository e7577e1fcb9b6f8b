// The transforms of the analysis layer: complex and real FFTs on FFTW3, the
// shared work area, and the four-step scheme for long records.

#include "AnalysisControls.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fftw3.h>
#include <map>
#include <memory>
#include <numbers>
#include <utility>

namespace Analysis {

namespace {

// Records from this length on (powers of two only) are transformed in four
// steps: below it a record fits the caches and FFTW's own plan is as fast.
constexpr std::size_t kFourStepMin = std::size_t{1} << 17;
// Columns gathered per block: one 256-byte stretch of each row. The column
// pass meets a new page at every row, so the wider stretch halves its page
// walks; the block (1 MB at 2^24 samples) still fits the core's cache.
constexpr std::size_t kColumnBlock = 16;
// Rows per call of the row plan.
constexpr std::size_t kRowBlock = 8;
bool FourStepLength(std::size_t n) {
    return n >= kFourStepMin && (n & (n - 1)) == 0;
}

// Rows of the four-step matrix: the larger half of the length's bits.
std::size_t FourStepRows(std::size_t n) {
    int bits = 0;
    while ((std::size_t{1} << bits) < n)
        ++bits;
    return std::size_t{1} << ((bits + 1) / 2);
}

// The column pass's kernels, one block of kColumnBlock columns at a time.
// The block goes to the scratch area row by row (row r at r·kColumnBlock),
// from the interleaved buffer or from two arrays, and comes back the same way.
__attribute__((target_clones("avx2", "default"))) void
Gather(const double* __restrict inter, const double* __restrict re, const double* __restrict im,
       std::size_t rows, std::size_t cols, std::size_t c0, double* __restrict t) {
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t at = r * cols + c0;
        double* dst = t + 2 * r * kColumnBlock;
        if (inter) {
            std::copy(inter + 2 * at, inter + 2 * (at + kColumnBlock), dst);
        } else {
            for (std::size_t j = 0; j < kColumnBlock; ++j) {
                dst[2 * j] = re[at + j];
                dst[2 * j + 1] = im[at + j];
            }
        }
    }
}

__attribute__((target_clones("avx2", "default"))) void
Scatter(const double* __restrict t, std::size_t rows, std::size_t cols, std::size_t c0,
        double* __restrict inter, double* __restrict re, double* __restrict im, double scale) {
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t at = r * cols + c0;
        const double* src = t + 2 * r * kColumnBlock;
        if (inter) {
            for (std::size_t j = 0; j < 2 * kColumnBlock; ++j)
                inter[2 * at + j] = src[j] * scale;
        } else {
            for (std::size_t j = 0; j < kColumnBlock; ++j) {
                re[at + j] = src[2 * j] * scale;
                im[at + j] = src[2 * j + 1] * scale;
            }
        }
    }
}

// Element (r, j) of the block times e^(sign·-2·pi·i·(c0 + j)·r/n).
__attribute__((target_clones("avx2", "default"))) void
Turn(double* __restrict t, std::size_t rows, std::size_t c0, const PhaseSteps& tw, double sign) {
    for (std::size_t r = 0; r < rows; ++r) {
        double* row = t + 2 * r * kColumnBlock;
        for (std::size_t j = 0; j < kColumnBlock; ++j) {
            double wc, ws;
            tw.At((c0 + j) * r, wc, ws);
            ws *= sign;
            const double re = row[2 * j], im = row[2 * j + 1];
            row[2 * j] = re * wc - im * ws;
            row[2 * j + 1] = re * ws + im * wc;
        }
    }
}

// Plans are built on first use and kept for the life of the process: the
// measurement transforms records of the same few lengths over and over, and
// planning costs far more than a transform. All plans work in place on
// buffers from fftw_malloc, so a plan made on one buffer serves any other of
// the same kind (FFTW's new-array execution). FFTW_ESTIMATE leaves the arrays
// alone while planning, so plans can be made on buffers in use.
class Engine {
public:
    static Engine& Instance() {
        static Engine e;
        return e;
    }

    double* Buffer(std::size_t n) { return Grow(buffer_, capacity_, n); }

    // The forward transform, the inverse, or both with the visitor between
    // them, on the first n values of the buffer; see WorkTransform.
    void Run(std::size_t n, bool forward, bool inverse, const double* inRe, const double* inIm,
             double* outRe, double* outIm, double scale, WorkTransform::RowFn visit,
             void* context) {
        double* b = buffer_;
        if (!FourStepLength(n)) {
            if (forward) {
                if (inRe)
                    for (std::size_t k = 0; k < n; ++k) {
                        b[2 * k] = inRe[k];
                        b[2 * k + 1] = inIm[k];
                    }
                fftw_execute_dft(Plain(n, Kind::Forward), C(b), C(b));
            }
            if (visit) visit(context, b, 0, 1, n);
            if (inverse) {
                fftw_execute_dft(Plain(n, Kind::Backward), C(b), C(b));
                if (outRe) {
                    for (std::size_t k = 0; k < n; ++k) {
                        outRe[k] = b[2 * k] * scale;
                        outIm[k] = b[2 * k + 1] * scale;
                    }
                } else if (scale != 1.0) {
                    for (std::size_t k = 0; k < 2 * n; ++k)
                        b[k] *= scale;
                }
            }
            return;
        }
        Steps& s = StepsFor(n);
        if (forward) Columns(s, false, inRe, inIm, nullptr, nullptr, 1.0);
        for (std::size_t r0 = 0; r0 < s.rows; r0 += kRowBlock) {
            double* block = b + 2 * r0 * s.cols;
            if (forward) fftw_execute_dft(s.rowForward, C(block), C(block));
            if (visit)
                for (std::size_t r = r0; r < r0 + kRowBlock; ++r)
                    visit(context, b + 2 * r * s.cols, r, s.rows, s.cols);
            if (inverse) fftw_execute_dft(s.rowBackward, C(block), C(block));
        }
        if (inverse) Columns(s, true, nullptr, nullptr, outRe, outIm, scale);
    }

    // r2c of n reals at the start of the buffer into n/2 + 1 complex values.
    void Real(std::size_t n) {
        fftw_execute_dft_r2c(Plain(n, Kind::RealForward), buffer_, C(buffer_));
    }

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

private:
    enum class Kind { Forward, Backward, RealForward };

    // A long record as a rows x cols matrix (row-major): transforms of the
    // columns, twiddle factors, transforms of the rows.
    struct Steps {
        std::size_t rows = 0;
        std::size_t cols = 0;
        fftw_plan rowForward = nullptr;
        fftw_plan rowBackward = nullptr;
        fftw_plan colForward = nullptr;
        fftw_plan colBackward = nullptr;
        std::unique_ptr<PhaseSteps> twiddle; // e^(-2·pi·j·m/n)
    };

    Engine() = default;
    ~Engine() {
        for (auto& [key, plan] : plain_)
            fftw_destroy_plan(plan);
        for (auto& [n, s] : steps_) {
            fftw_destroy_plan(s.rowForward);
            fftw_destroy_plan(s.rowBackward);
            fftw_destroy_plan(s.colForward);
            fftw_destroy_plan(s.colBackward);
        }
        fftw_free(buffer_);
        fftw_free(scratch_);
        fftw_cleanup();
    }

    static fftw_complex* C(double* p) { return reinterpret_cast<fftw_complex*>(p); }

    static double* Grow(double*& p, std::size_t& capacity, std::size_t n) {
        if (n > capacity) {
            fftw_free(p);
            p = reinterpret_cast<double*>(fftw_alloc_complex(n));
            capacity = n;
        }
        return p;
    }

    fftw_plan Plain(std::size_t n, Kind kind) {
        auto key = std::make_pair(n, kind);
        auto it = plain_.find(key);
        if (it != plain_.end()) return it->second;
        const int len = static_cast<int>(n);
        fftw_plan plan =
            kind == Kind::RealForward
                ? fftw_plan_dft_r2c_1d(len, buffer_, C(buffer_), FFTW_ESTIMATE)
                : fftw_plan_dft_1d(len, C(buffer_), C(buffer_),
                                   kind == Kind::Forward ? FFTW_FORWARD : FFTW_BACKWARD,
                                   FFTW_ESTIMATE);
        return plain_.emplace(key, plan).first->second;
    }

    Steps& StepsFor(std::size_t n) {
        auto it = steps_.find(n);
        if (it != steps_.end()) return it->second;
        Steps s;
        s.rows = FourStepRows(n);
        s.cols = n / s.rows;
        double* scratch = Grow(scratch_, scratchCapacity_, kColumnBlock * s.rows);
        const int rows = static_cast<int>(s.rows);
        const int cols = static_cast<int>(s.cols);
        auto many = [](int len, int count, double* data, int sign) {
            return fftw_plan_many_dft(1, &len, count, C(data), nullptr, 1, len, C(data), nullptr, 1,
                                      len, sign, FFTW_ESTIMATE);
        };
        s.rowForward = many(cols, static_cast<int>(kRowBlock), buffer_, FFTW_FORWARD);
        s.rowBackward = many(cols, static_cast<int>(kRowBlock), buffer_, FFTW_BACKWARD);
        // The scratch area holds a block of columns side by side: row r of
        // the block at r·kColumnBlock.
        auto columns = [rows](double* data, int sign) {
            const int stride = static_cast<int>(kColumnBlock);
            int len = rows;
            return fftw_plan_many_dft(1, &len, stride, C(data), nullptr, stride, 1, C(data),
                                      nullptr, stride, 1, sign, FFTW_ESTIMATE);
        };
        s.colForward = columns(scratch, FFTW_FORWARD);
        s.colBackward = columns(scratch, FFTW_BACKWARD);
        s.twiddle =
            std::make_unique<PhaseSteps>(-2.0 * std::numbers::pi / static_cast<double>(n), n);
        return steps_.emplace(n, std::move(s)).first->second;
    }

    // x(r·cols + c), r < rows, c < cols: X(k1 + rows·k2) = sum over c of
    // e^(-2·pi·j·c·k2/cols)·e^(-2·pi·j·c·k1/n)·(sum over r of
    // x(r·cols + c)·e^(-2·pi·j·r·k1/rows)). The column pass transforms the
    // columns, a block of them at a time gathered into the scratch area, and
    // applies the middle factor; the row pass then leaves bin k1 + rows·k2
    // at k1·cols + k2. The inverse runs the same steps backwards with
    // conjugate factors and so takes that layout.
    //
    // Column pass: the samples come from (inRe, inIm) or the buffer and go to
    // (outRe, outIm) times scale, or back to the buffer.
    void Columns(Steps& s, bool inverse, const double* inRe, const double* inIm, double* outRe,
                 double* outIm, double scale) {
        double* b = buffer_;
        double* t = scratch_;
        const std::size_t rows = s.rows, cols = s.cols;
        for (std::size_t c0 = 0; c0 < cols; c0 += kColumnBlock) {
            Gather(inRe ? nullptr : b, inRe, inIm, rows, cols, c0, t);
            // Twiddle e^(-+2·pi·j·c·r/n): after the column transforms on the
            // way forward, before them on the way back.
            if (inverse) Turn(t, rows, c0, *s.twiddle, -1.0);
            fftw_execute_dft(inverse ? s.colBackward : s.colForward, C(t), C(t));
            if (!inverse) Turn(t, rows, c0, *s.twiddle, 1.0);
            Scatter(t, rows, cols, c0, outRe ? nullptr : b, outRe, outIm, scale);
        }
    }

    std::map<std::pair<std::size_t, Kind>, fftw_plan> plain_;
    std::map<std::size_t, Steps> steps_;
    double* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    double* scratch_ = nullptr;
    std::size_t scratchCapacity_ = 0;
};

bool ComplexTransform(const Array& re, const Array& im, Array& outRe, Array& outIm, bool inverse) {
    if (re.size() != im.size() || re.size() > INT_MAX) {
        outRe.clear();
        outIm.clear();
        return false;
    }
    const std::size_t n = re.size();
    if (n == 0) {
        outRe.clear();
        outIm.clear();
        return true;
    }
    WorkTransform w(n);
    double* b = w.Data();
    // The input is in the work buffer before the outputs are written, so the
    // outputs may be the very arrays that were passed in.
    if (inverse) {
        w.ForEachBin([&](std::size_t pos, std::size_t bin) {
            b[2 * pos] = re[bin];
            b[2 * pos + 1] = im[bin];
        });
        outRe.resize(n);
        outIm.resize(n);
        w.Inverse(outRe.data(), outIm.data(), 1.0 / static_cast<double>(n));
    } else {
        w.Forward(re.data(), im.data());
        outRe.resize(n);
        outIm.resize(n);
        w.ForEachBin([&](std::size_t pos, std::size_t bin) {
            outRe[bin] = b[2 * pos];
            outIm[bin] = b[2 * pos + 1];
        });
    }
    return true;
}

} // namespace

WorkTransform::WorkTransform(std::size_t n) {
    if (n == 0 || n > INT_MAX) return;
    n_ = n;
    if (FourStepLength(n)) rows_ = FourStepRows(n);
    cols_ = n / rows_;
    data_ = Engine::Instance().Buffer(n);
}

void WorkTransform::Run(Mode mode, const double* inRe, const double* inIm, double* outRe,
                        double* outIm, double scale, RowFn visit, void* context) {
    if (!data_) return;
    Engine::Instance().Run(n_, mode != Mode::Inverse, mode != Mode::Forward, inRe, inIm, outRe,
                           outIm, scale, visit, context);
}

bool FFT(const Array& re, const Array& im, Array& outRe, Array& outIm) {
    return ComplexTransform(re, im, outRe, outIm, false);
}

bool InverseFFT(const Array& re, const Array& im, Array& outRe, Array& outIm) {
    return ComplexTransform(re, im, outRe, outIm, true);
}

bool RealFFT(const Array& x, Array& outRe, Array& outIm) {
    const std::size_t n = x.size();
    if (n == 0 || n > INT_MAX) {
        outRe.clear();
        outIm.clear();
        return n == 0;
    }
    auto& e = Engine::Instance();
    double* b = e.Buffer(n);
    std::copy(x.begin(), x.end(), b);
    e.Real(n);
    outRe.assign(n, 0.0);
    outIm.assign(n, 0.0);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        outRe[k] = b[2 * k];
        outIm[k] = b[2 * k + 1];
    }
    for (std::size_t k = n / 2 + 1; k < n; ++k) {
        outRe[k] = outRe[n - k];
        outIm[k] = -outIm[n - k];
    }
    return true;
}

bool InverseRealFFT(const Array& re, const Array& im, Array& out) {
    Array outRe;
    Array outIm;
    const bool ok = ComplexTransform(re, im, outRe, outIm, true);
    out = std::move(outRe);
    return ok;
}

PhaseSteps::PhaseSteps(double step, std::size_t count) {
    // Blocks of about sqrt(count) steps: both tables stay short and in cache.
    while ((std::size_t{1} << (2 * shift_)) < count)
        ++shift_;
    mask_ = (std::size_t{1} << shift_) - 1;
    const std::size_t fine = std::size_t{1} << shift_;
    const std::size_t coarse = count == 0 ? 0 : ((count - 1) >> shift_) + 1;
    fine_.resize(2 * fine);
    coarse_.resize(2 * coarse);
    for (std::size_t b = 0; b < fine; ++b) {
        const double a = step * static_cast<double>(b);
        fine_[2 * b] = std::cos(a);
        fine_[2 * b + 1] = std::sin(a);
    }
    for (std::size_t c = 0; c < coarse; ++c) {
        const double a = step * static_cast<double>(c << shift_);
        coarse_[2 * c] = std::cos(a);
        coarse_[2 * c + 1] = std::sin(a);
    }
}

} // namespace Analysis
