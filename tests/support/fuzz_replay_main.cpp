// Replays every file of a fuzz corpus folder through its target once, so that
// the normal and sanitizer builds keep every seed and every past crash fixed.
#include <QGuiApplication>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        // As the tests do: Qt would otherwise make one in $TMPDIR and leave it.
        const std::string dir = "/tmp/tessa-runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
    }
    QGuiApplication app(argc, argv);
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[1], ec))
        if (e.is_regular_file())
            files.push_back(e.path());
    if (ec || files.empty()) {
        std::fprintf(stderr, "no corpus files under %s\n", argv[1]);
        return 1;
    }
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
