// cairo compresses every stream of a PDF file with zlib at its default
// level and gives a program no way to choose another. A page of a full
// spectrum then spends more time in zlib than in drawing. When the program
// is linked with zlib's static archive, cairo's calls of deflateInit are
// routed here (the linker's --wrap, see CMakeLists.txt) and ask for zlib's
// fastest level instead: the same page, a quarter larger, in a fraction of
// the compression time. cairo is the only library here that calls
// deflateInit (libpng, which writes the PNG files, calls deflateInit2 with
// its own level).
#ifdef TARVA_FAST_PDF_DEFLATE
#include <zlib.h>

extern "C" int __wrap_deflateInit_(z_streamp stream, int /*level*/, const char* version, int stream_size) {
    return deflateInit2_(stream, Z_BEST_SPEED, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, version, stream_size);
}
#endif
