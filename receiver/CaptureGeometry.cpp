#include "receiver/CaptureGeometry.h"

namespace receiver {

CaptureGeometry ResolveCaptureGeometry(const ProjectionStart& start,
                                       const std::optional<FirstStrip>& first_strip) {
    const ReceiverMode& mode = start.mode;
    bool announced = start.announced_width >= 1 && start.announced_width <= kMaxPictureSide &&
                     start.announced_height >= 1 && start.announced_height <= kMaxPictureSide;

    struct Size {
        int width;
        int height;
    };
    Size mode_size{mode.width, mode.height};
    Size preferred = mode_size;
    Size alternative = mode_size;
    if (announced) {
        Size announced_size{start.announced_width, start.announced_height};
        bool smaller_screen =
            announced_size.width < mode.width && announced_size.height < mode.height;
        preferred = smaller_screen ? mode_size : announced_size;
        alternative = smaller_screen ? announced_size : mode_size;
    }
    Size capture = preferred;
    if (first_strip && first_strip->x == 0 && first_strip->y == 0 &&
        first_strip->width != preferred.width && first_strip->width == alternative.width) {
        capture = alternative;
    }

    CaptureGeometry geometry;
    geometry.capture_width = capture.width;
    geometry.capture_height = capture.height;
    geometry.bits_per_pixel = mode.bits_per_pixel;
    if (announced && start.announced_width <= capture.width &&
        start.announced_height <= capture.height) {
        geometry.visible_width = start.announced_width;
        geometry.visible_height = start.announced_height;
    } else {
        geometry.visible_width = capture.width;
        geometry.visible_height = capture.height;
    }
    return geometry;
}

}  // namespace receiver
