// stb's decoders and PNG writer compiled into the host where no stb library is installed
// (the Windows cross-build); Linux links Debian's libstb.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
