// Loading a volume file, side by side with a plain read of the same file into memory.
// Usage: bench_load VOLUME_FILE [ROUNDS]
// Prints the best time of each over the rounds, their ratio, and the loader's peak memory
// against the size of the loaded data.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "volume/tetravolume.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Reads the whole file into one buffer, the least any loader has to do.
double PlainRead(const char* path, size_t* bytes) {
    auto start = std::chrono::steady_clock::now();
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        exit(1);
    }
    fseek(f, 0, SEEK_END);
    *bytes = (size_t)ftell(f);
    fseek(f, 0, SEEK_SET);
    char* buffer = static_cast<char*>(malloc(*bytes));
    if (fread(buffer, 1, *bytes, f) != *bytes) exit(1);
    fclose(f);
    double t = Seconds(start);
    free(buffer);
    return t;
}

long PeakKiB() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct LoadTiming {
    double seconds;
    double peakMiB;    // growth of the peak resident size during loading
    double loadedMiB;  // vertex array, blocks and tetrahedra as held in memory
};

// Loads in a child process so each round starts with a fresh heap and peak counter.
LoadTiming Load(const char* path) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) exit(1);
    pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(1);
        long before = PeakKiB();
        auto start = std::chrono::steady_clock::now();
        TetrahedralVolume* volume = new TetrahedralVolume();
        volume->ReadFile(path);
        LoadTiming r{Seconds(start), (PeakKiB() - before) / 1024.0, 0};
        double bytes = volume->GetNumPoints() * (double)sizeof(Vertex);
        for (const Block& b : volume->GetBlocks()) {
            bytes += sizeof(Block) + b.num_Tetra * (double)sizeof(Tetra);
        }
        r.loadedMiB = bytes / (1024.0 * 1024.0);
        if (write(pipeFd[1], &r, sizeof r) != sizeof r) _exit(1);
        _exit(0);
    }
    LoadTiming r{};
    if (read(pipeFd[0], &r, sizeof r) != sizeof r) exit(1);
    waitpid(child, nullptr, 0);
    close(pipeFd[0]);
    close(pipeFd[1]);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s VOLUME_FILE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    int rounds = argc > 2 ? atoi(argv[2]) : 5;
    size_t bytes = 0;
    PlainRead(path, &bytes);  // warm the page cache so both sides read from memory

    double plain = 1e30;
    LoadTiming best{1e30, 0, 0};
    for (int i = 0; i < rounds; ++i) {
        double p = PlainRead(path, &bytes);
        if (p < plain) plain = p;
        LoadTiming r = Load(path);
        if (r.seconds < best.seconds) best = r;
    }
    printf("file            %10.1f MiB\n", bytes / (1024.0 * 1024.0));
    printf("plain read      %10.3f s\n", plain);
    printf("ReadFile        %10.3f s\n", best.seconds);
    printf("time ratio      %10.2f  (aim: at most 1.5)\n", best.seconds / plain);
    printf("loaded data     %10.1f MiB\n", best.loadedMiB);
    printf("peak growth     %10.1f MiB\n", best.peakMiB);
    printf("memory ratio    %10.2f  (aim: at most 1.2)\n", best.peakMiB / best.loadedMiB);
    return 0;
}
