/* xm2wav: renders an XM module to a 16-bit stereo WAV file with the xmplayer library, to the
 * song's end. The whole program is the library's interface in use:
 *
 *     cc xm2wav.c $(pkg-config --cflags --libs xmplayer) -o xm2wav && ./xm2wav song.xm song.wav */
#include <stdint.h>
#include <stdio.h>

#include <xmplayer.h>

/* A little-endian 32- or 16-bit field of the WAV header. */
static void put(FILE* f, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) fputc((int)(value >> (8 * i)) & 0xFF, f);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: xm2wav IN.xm OUT.wav\n");
        return 1;
    }
    char reason[200];
    xmplayer_module* module = xmplayer_load_file(argv[1], NULL, reason, sizeof reason);
    if (!module) {
        fprintf(stderr, "xm2wav: %s: %s\n", argv[1], reason);
        return 1;
    }
    FILE* out = fopen(argv[2], "wb");
    if (!out) {
        perror(argv[2]);
        xmplayer_free_module(module);
        return 1;
    }
    xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);

    fseek(out, 44, SEEK_SET); /* the header goes in last, once the length is known */
    int16_t frames[2 * 1024];
    uint32_t total = 0;
    size_t n;
    while ((n = xmplayer_render_s16(player, frames, 1024)) > 0) {
        for (size_t i = 0; i < 2 * n; ++i) put(out, (uint16_t)frames[i], 2);
        total += (uint32_t)n;
    }

    fseek(out, 0, SEEK_SET);
    fputs("RIFF", out), put(out, 36 + total * 4, 4), fputs("WAVEfmt ", out);
    put(out, 16, 4), put(out, 1, 2), put(out, 2, 2);                  /* PCM, stereo */
    put(out, XMPLAYER_RATE, 4), put(out, XMPLAYER_RATE * 4, 4);       /* frames, bytes per second */
    put(out, 4, 2), put(out, 16, 2), fputs("data", out), put(out, total * 4, 4);
    const int failed = ferror(out) | fclose(out);

    xmplayer_free(player);
    xmplayer_free_module(module);
    if (failed) fprintf(stderr, "xm2wav: %s: cannot write the file\n", argv[2]);
    return failed ? 1 : 0;
}
