#include "tracker/extensions.hpp"

#include "mlx/tool/exception.hpp"

namespace track {

extensions extensions::read(const ini::INIParser& ini) {
    extensions e;
    e.enabled = ini::readUnsigned(ini, "extensions", 1) != 0;
    if (!e.enabled) return e;
    e.predict = ini::readDouble(ini, "predict", defaultPredict);
    e.robust = ini::readDouble(ini, "robust", defaultRobust);
    e.lost = ini::readDouble(ini, "lost", defaultLost);
    e.sensor = ini::readDouble(ini, "sensor", defaultSensor);
    e.clipping = ini::readUnsigned(ini, "clipping", 1) != 0;
    e.occlusion = ini::readDouble(ini, "occlusion", defaultOcclusion);
    e.binning = ini::readDouble(ini, "binning", defaultBinning);
    e.settle = ini::readUnsigned(ini, "settle", defaultSettle);
    if (e.predict < 0.0 || e.predict > 1.0) MLX_RAISE("configuration key \"predict\": " << e.predict << " is not in [0, 1]");
    if (e.robust < 0.0) MLX_RAISE("configuration key \"robust\": " << e.robust << " is negative");
    if (!(e.sensor >= 0.0)) MLX_RAISE("configuration key \"sensor\": " << e.sensor << " is negative");
    if (!(e.occlusion >= 0.0)) MLX_RAISE("configuration key \"occlusion\": " << e.occlusion << " is negative");
    if (!(e.binning >= 0.0)) MLX_RAISE("configuration key \"binning\": " << e.binning << " is negative");
    if (e.lost < 0.0 || e.lost >= 1.0) MLX_RAISE("configuration key \"lost\": " << e.lost << " is not in [0, 1)");
    return e;
}

}  // namespace track
