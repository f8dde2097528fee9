/* xm2wav: renders an XM module to a 16-bit stereo WAV file with the xmplayer library, to the
 * song's end, at any rate and from any point. The whole program is the library's interface in
 * use:
 *
 *     cc xm2wav.c $(pkg-config --cflags --libs xmplayer) -o xm2wav
 *     ./xm2wav song.xm song.wav
 *     ./xm2wav --rate 48000 --interpolation cubic --start 30 --profile ft2 song.xm song.wav */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <xmplayer.h>

#if XMPLAYER_VERSION < 20000
#error "xm2wav needs xmplayer 2.0 or later"
#endif

/* A little-endian 32- or 16-bit field of the WAV header. */
static void put(FILE* f, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) fputc((int)(value >> (8 * i)) & 0xFF, f);
}

static int usage(void) {
    fprintf(stderr, "usage: xm2wav [--rate HZ] [--interpolation none|linear|cubic] [--start SECONDS]\n"
                    "              [--profile default|ft2] IN.xm OUT.wav\n");
    return 1;
}

int main(int argc, char** argv) {
    int32_t rate = XMPLAYER_RATE;
    int interpolation = XMPLAYER_INTERPOLATION_LINEAR, profile = XMPLAYER_PROFILE_DEFAULT;
    double start = 0;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--rate") == 0) rate = (int32_t)atol(argv[i + 1]);
        else if (strcmp(argv[i], "--interpolation") == 0) interpolation = xmplayer_interpolation_by_name(argv[i + 1]);
        else if (strcmp(argv[i], "--profile") == 0) profile = xmplayer_profile_from_name(argv[i + 1]);
        else if (strcmp(argv[i], "--start") == 0) start = atof(argv[i + 1]);
        else return usage();
    }
    if (argc - i != 2 || interpolation < 0 || profile < 0 || !(start >= 0)) return usage();

    char reason[200];
    xmplayer_error error;
    xmplayer_module* module = xmplayer_load_file(argv[i], &error, reason, sizeof reason);
    if (!module) {
        fprintf(stderr, "xm2wav: %s: %s (%s)\n", argv[i], reason, xmplayer_error_text(error));
        return 1;
    }
    xmplayer* player = xmplayer_create(module, (xmplayer_profile)profile);
    if (!player || xmplayer_set_rate(player, rate) != XMPLAYER_OK ||
        xmplayer_set_interpolation(player, (xmplayer_interpolation)interpolation) != XMPLAYER_OK ||
        xmplayer_seek_frame(player, (int64_t)(start * rate)) != XMPLAYER_OK) {
        fprintf(stderr, "xm2wav: cannot play %s at %ld Hz from %g s\n", argv[i], (long)rate, start);
        xmplayer_free(player);
        xmplayer_free_module(module);
        return 1;
    }
    FILE* out = fopen(argv[i + 1], "wb");
    if (!out) {
        perror(argv[i + 1]);
        xmplayer_free(player);
        xmplayer_free_module(module);
        return 1;
    }

    fseek(out, 44, SEEK_SET); /* the header goes in last, once the length is known */
    int16_t frames[2 * 1024];
    uint32_t total = 0;
    size_t n;
    while ((n = xmplayer_render_s16(player, frames, 1024)) > 0) {
        for (size_t k = 0; k < 2 * n; ++k) put(out, (uint16_t)frames[k], 2);
        total += (uint32_t)n;
    }

    fseek(out, 0, SEEK_SET);
    fputs("RIFF", out), put(out, 36 + total * 4, 4), fputs("WAVEfmt ", out);
    put(out, 16, 4), put(out, 1, 2), put(out, 2, 2);            /* PCM, stereo */
    put(out, (uint32_t)rate, 4), put(out, (uint32_t)rate * 4, 4); /* frames, bytes per second */
    put(out, 4, 2), put(out, 16, 2), fputs("data", out), put(out, total * 4, 4);
    const int failed = ferror(out) | fclose(out);

    xmplayer_free(player);
    xmplayer_free_module(module);
    if (failed) fprintf(stderr, "xm2wav: %s: cannot write the file\n", argv[i + 1]);
    return failed ? 1 : 0;
}
