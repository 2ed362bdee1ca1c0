// Decoding speed: our decoder beside libjpeg-turbo (integer IDCT, no fancy
// upsampling, RGB out) on the same pictures in the same run. Prints the
// ratio of the mean times, ours / libjpeg-turbo, per picture, and the
// working memory our decoder allocates besides the output picture.
#include <benchmark/benchmark.h>

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codec/simd_kernels.h"
#include "vcdalbum/codec.h"

// Every operator new of the process is counted: the decoder's working
// storage comes from it, the output picture from malloc.
namespace {

std::atomic<size_t> gLive{0}, gPeak{0};
constexpr size_t kHeader = 64;  // keeps any alignment up to 64

void* CountedAlloc(size_t size, size_t alignment) {
    void* block = nullptr;
    if (posix_memalign(&block, alignment < kHeader ? kHeader : alignment, size + kHeader) != 0) return nullptr;
    *static_cast<size_t*>(block) = size;
    const size_t live = gLive += size;
    size_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void CountedFree(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    gLive -= *static_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t size) {
    if (void* p = CountedAlloc(size, 16)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, std::align_val_t a) {
    if (void* p = CountedAlloc(size, static_cast<size_t>(a))) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size, 16); }
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return CountedAlloc(size, static_cast<size_t>(a));
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, std::align_val_t a) { return operator new(size, a); }
void* operator new[](size_t size, const std::nothrow_t& t) noexcept { return operator new(size, t); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { CountedFree(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::align_val_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { CountedFree(p); }

namespace {

const char* const kPictures[] = {"photo_352x240_q85_420.jpg", "photo_1920x1080_q85_420.jpg"};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Ours(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    for (auto _ : state) {
        Image image{};
        const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg(*bytes, image);
        if (!result.ok()) {
            state.SkipWithError(result.message.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.data);
        vcdalbum::ReleaseImage(image);
    }
}

struct PeerError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void Peer(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        jpeg_decompress_struct info;
        PeerError error;
        info.err = jpeg_std_error(&error.base);
        error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<PeerError*>(c->err)->jump, 1); };
        jpeg_create_decompress(&info);
        if (setjmp(error.jump)) {
            jpeg_destroy_decompress(&info);
            state.SkipWithError("libjpeg-turbo refused the picture");
            break;
        }
        jpeg_mem_src(&info, bytes->data(), static_cast<unsigned long>(bytes->size()));
        jpeg_read_header(&info, TRUE);
        info.dct_method = JDCT_ISLOW;
        info.do_fancy_upsampling = FALSE;
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        const size_t stride = size_t{info.output_width} * 3;
        pixels.resize(stride * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = pixels.data() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels.data());
    }
}

// The same picture coded in three scans, one per component: libjpeg-turbo
// decodes it and codes it again with a scan script.
std::vector<uint8_t> RecodeInThreeScans(const std::vector<uint8_t>& jpeg) {
    jpeg_decompress_struct in;
    jpeg_error_mgr inError, outError;
    in.err = jpeg_std_error(&inError);
    jpeg_create_decompress(&in);
    jpeg_mem_src(&in, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&in, TRUE);
    jpeg_start_decompress(&in);
    const size_t stride = size_t{in.output_width} * 3;
    std::vector<uint8_t> pixels(stride * in.output_height);
    while (in.output_scanline < in.output_height) {
        JSAMPROW row = pixels.data() + stride * in.output_scanline;
        jpeg_read_scanlines(&in, &row, 1);
    }
    jpeg_compress_struct out;
    out.err = jpeg_std_error(&outError);
    jpeg_create_compress(&out);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    out.image_width = in.output_width;
    out.image_height = in.output_height;
    out.input_components = 3;
    out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, 85, TRUE);
    static const jpeg_scan_info kScans[] = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    out.scan_info = kScans;
    out.num_scans = 3;
    jpeg_start_compress(&out, TRUE);
    while (out.next_scanline < out.image_height) {
        JSAMPROW row = pixels.data() + stride * out.next_scanline;
        jpeg_write_scanlines(&out, &row, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);
    std::vector<uint8_t> result(buffer, buffer + size);
    jpeg_destroy_compress(&out);
    std::free(buffer);
    return result;
}

// Peak bytes from operator new during one decode: the working memory.
void PrintWorkingMemory(const char* name, const std::vector<uint8_t>& bytes) {
    const size_t before = gLive.load();
    gPeak = before;
    Image image{};
    const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg(bytes, image);
    const size_t peak = gPeak.load() - before;
    if (!result.ok()) {
        std::printf("working memory %s: refused: %s\n", name, result.message.c_str());
        return;
    }
    std::printf("working memory %s: %.1f KiB besides the %.1f KiB output picture (limit 1024 KiB)\n", name, peak / 1024.0,
                double(ImageStride(image.width)) * image.height / 1024.0);
    vcdalbum::ReleaseImage(image);
}

// Collects the mean CPU time per iteration (the machine may be shared) of every run to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median wins over the single runs.
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0) continue;
            const double time = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[run.run_name.str()] = time;
                medians_.insert(run.run_name.str());
            } else if (run.run_type == Run::RT_Iteration && !medians_.count(run.run_name.str())) {
                times_[run.run_name.str()] = time;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* picture : {kPictures[0], kPictures[1], "three-scans-1920x1080"}) {
            const auto ours = times_.find(std::string("decode/ours/") + picture);
            const auto peer = times_.find(std::string("decode/libjpeg-turbo/") + picture);
            if (ours == times_.end() || peer == times_.end()) continue;
            std::printf("ratio ours/libjpeg-turbo %s: %.2f (%.3f ms / %.3f ms)\n", picture, ours->second / peer->second,
                        ours->second * 1e3, peer->second * 1e3);
        }
    }

private:
    std::map<std::string, double> times_;
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = std::string(VCDALBUM_TESTDATA_DIR) + "/bench/";
    std::vector<std::vector<uint8_t>> files;
    files.reserve(std::size(kPictures));
    for (const char* picture : kPictures) {
        files.push_back(ReadFile(dir + picture));
        if (files.back().empty()) {
            std::printf("skipped: %s%s is absent\n", dir.c_str(), picture);
            return 0;
        }
    }
    const std::vector<uint8_t> threeScans = RecodeInThreeScans(files.back());
    for (size_t i = 0; i < files.size(); ++i) {
        benchmark::RegisterBenchmark((std::string("decode/ours/") + kPictures[i]).c_str(), Ours, &files[i])
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("decode/libjpeg-turbo/") + kPictures[i]).c_str(), Peer, &files[i])
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("decode/ours/three-scans-1920x1080", Ours, &threeScans)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/libjpeg-turbo/three-scans-1920x1080", Peer, &threeScans)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // VCDALBUM_SIMD=sse2 or =scalar runs the lower levels, to report their ratios too.
    std::printf("our kernels: %s\n", vcdalbum::codec::ActiveKernels().name);
    reporter.PrintRatios();
    for (size_t i = 0; i < files.size(); ++i) PrintWorkingMemory(kPictures[i], files[i]);
    PrintWorkingMemory("three-scans-1920x1080", threeScans);
    benchmark::Shutdown();
    return 0;
}
