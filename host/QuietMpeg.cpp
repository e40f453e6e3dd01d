// MP3 files are read by the host's own MP3 decoder, whose handles are quiet, but libsndfile still decodes MPEG audio
// inside a container it knows (a WAV holding MP3) through libmpg123, which prints notes and warnings about damaged
// streams on stderr unless its handle carries MPG123_QUIET, and libsndfile offers no way to set it. The host defines
// mpg123_new itself, so every handle made in this process (the render's input, --play, and the plug-in's reference
// decoder on its worker thread) is made by the real function and turned quiet here. The executable's definition comes
// first in the dynamic linker's lookup; it is exported for that by the link options in CMakeLists.txt. Unlike
// redirecting stderr around the decoder, this silences nothing but libmpg123, on any thread.

#include <dlfcn.h>
#include <mpg123.h>

// seen by the dynamic linker, though the build hides symbols by default
extern "C" __attribute__((visibility("default"))) mpg123_handle* mpg123_new(const char* decoder, int* error)
{
    using New = mpg123_handle* (*)(const char*, int*);
    static const auto real = reinterpret_cast<New>(dlsym(RTLD_NEXT, "mpg123_new"));
    if (real == nullptr)
    {
        if (error != nullptr)
            *error = MPG123_ERR;
        return nullptr;
    }
    mpg123_handle* handle = real(decoder, error);
    if (handle != nullptr)
        mpg123_param2(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    return handle;
}
