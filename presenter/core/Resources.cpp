#include "presenter/core/Resources.h"

#include "presenter/controls/SkinText.h"

namespace beamora {

Resources::Resources(int language_lock)
    : skin_(std::make_unique<Skin>()), language_(language_lock) {}

Resources::~Resources() = default;

bool Resources::Load(const SkinFailureHooks& hooks) {
    return LoadSkin(*skin_, language_.index(), hooks);
}

QString Resources::Text(int entry) const {
    return SkinString(skin_->texts.Entry(language_.index(), entry));
}

}  // namespace beamora
