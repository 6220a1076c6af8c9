/* The floors the line store is measured against, one per process:
 *   linestore_floor read      IN         read the whole file into one buffer
 *   linestore_floor readwrite IN OUT     the same, then write that buffer to OUT the way a
 *                                        replacing save does: temporary file, fsync, rename,
 *                                        fsync of the folder
 *   linestore_floor copy      IN FACTOR  copy FACTOR times the file's size of bytes into newly
 *                                        allocated memory (2 = the size of the UTF-16 text)
 * Prints "op_ms=... op_cpu_ms=... added_peak_kib=..." (readwrite also "write_ms=...
 * write_cpu_ms=...").
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

/* Processor time of the whole process (user and system). */
static double cpu_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

/* A field of /proc/self/status in KiB; 0 when absent. */
static long status_kib(const char* field) {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long value = 0;
    size_t length = strlen(field);
    if (f == NULL) {
        return 0;
    }
    while (fgets(line, sizeof line, f) != NULL) {
        if (strncmp(line, field, length) == 0 && line[length] == ':') {
            value = strtol(line + length + 1, NULL, 10);
            break;
        }
    }
    fclose(f);
    return value;
}

/* Starts a new peak-RSS measurement: VmHWM drops to the current RSS. */
static void reset_peak(void) {
    FILE* f = fopen("/proc/self/clear_refs", "w");
    if (f != NULL) {
        fputs("5", f);
        fclose(f);
    }
}

static void fail(const char* what) {
    perror(what);
    exit(1);
}

static char* read_file(const char* path, size_t* size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    char* buffer;
    size_t got = 0;
    if (fd < 0 || fstat(fd, &st) != 0) {
        fail(path);
    }
    buffer = malloc(st.st_size > 0 ? (size_t)st.st_size : 1);
    if (buffer == NULL) {
        fail("malloc");
    }
    while (got < (size_t)st.st_size) {
        ssize_t n = read(fd, buffer + got, (size_t)st.st_size - got);
        if (n <= 0) {
            fail("read");
        }
        got += (size_t)n;
    }
    close(fd);
    *size = got;
    return buffer;
}

static void write_replacing(const char* path, const char* data, size_t size) {
    char temp[4096];
    char folder[4096];
    const char* slash = strrchr(path, '/');
    int fd;
    size_t done = 0;
    snprintf(temp, sizeof temp, "%s.floor-%d.tmp", path, (int)getpid());
    fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        fail(temp);
    }
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            fail("write");
        }
        done += (size_t)n;
    }
    if (fsync(fd) != 0 || close(fd) != 0 || rename(temp, path) != 0) {
        fail("commit");
    }
    snprintf(folder, sizeof folder, "%.*s", slash ? (int)(slash - path) : 1, slash ? path : ".");
    fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

int main(int argc, char** argv) {
    size_t size = 0;
    long before;
    double start;
    double cpu_start;
    if (argc != 3 && argc != 4) {
        fputs("usage: linestore_floor read IN | readwrite IN OUT | copy IN FACTOR\n", stderr);
        return 2;
    }
    if (strcmp(argv[1], "read") == 0) {
        char* data;
        before = status_kib("VmRSS");
        reset_peak();
        cpu_start = cpu_ms();
        start = now_ms();
        data = read_file(argv[2], &size);
        printf("op_ms=%.3f op_cpu_ms=%.3f added_peak_kib=%ld\n", now_ms() - start,
               cpu_ms() - cpu_start, status_kib("VmHWM") - before);
        free(data);
    } else if (strcmp(argv[1], "readwrite") == 0 && argc == 4) {
        char* data;
        double middle;
        double cpu_middle;
        before = status_kib("VmRSS");
        reset_peak();
        cpu_start = cpu_ms();
        start = now_ms();
        data = read_file(argv[2], &size);
        middle = now_ms();
        cpu_middle = cpu_ms();
        write_replacing(argv[3], data, size);
        printf("op_ms=%.3f op_cpu_ms=%.3f added_peak_kib=%ld write_ms=%.3f write_cpu_ms=%.3f\n",
               now_ms() - start, cpu_ms() - cpu_start, status_kib("VmHWM") - before,
               now_ms() - middle, cpu_ms() - cpu_middle);
        free(data);
    } else if (strcmp(argv[1], "copy") == 0 && argc == 4) {
        size_t factor = strtoul(argv[3], NULL, 10);
        char* data = read_file(argv[2], &size);
        char* source = malloc(size * factor + 1);
        char* copy;
        size_t i;
        if (source == NULL) {
            fail("malloc");
        }
        for (i = 0; i < factor; ++i) {
            memcpy(source + i * size, data, size);
        }
        free(data);
        before = status_kib("VmRSS");
        reset_peak();
        cpu_start = cpu_ms();
        start = now_ms();
        copy = malloc(size * factor + 1);
        if (copy == NULL) {
            fail("malloc");
        }
        memcpy(copy, source, size * factor);
        printf("op_ms=%.3f op_cpu_ms=%.3f added_peak_kib=%ld\n", now_ms() - start,
               cpu_ms() - cpu_start, status_kib("VmHWM") - before);
        fprintf(stderr, "check=%d\n", copy[size * factor / 2]);
        free(copy);
        free(source);
    } else {
        fputs("unknown mode\n", stderr);
        return 2;
    }
    return 0;
}
