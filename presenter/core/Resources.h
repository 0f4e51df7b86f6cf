// What every window of the presenter reads: the loaded skin (texts, positions, pictures) and the
// current language. One instance, made by the application before any window and outliving them.
// User interface thread.
#pragma once

#include <QString>
#include <memory>

#include "presenter/core/Language.h"
#include "presenter/core/Skin.h"

namespace beamora {

class Resources {
  public:
    explicit Resources(int language_lock = kBuildLanguageLock);
    ~Resources();
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    // Loads the skin files from the current directory, showing the missing-component message in
    // the current language on failure. False when a piece is missing or incomplete.
    bool Load(const SkinFailureHooks& hooks = {});

    Skin& skin() { return *skin_; }
    const Skin& skin() const { return *skin_; }
    LanguageState& language() { return language_; }
    const LanguageState& language() const { return language_; }

    // Entry `entry` of the current language.
    QString Text(int entry) const;
    // Position of a skin key.
    int Pos(int key) const { return skin_->positions[key]; }

  private:
    std::unique_ptr<Skin> skin_;
    LanguageState language_;
};

}  // namespace beamora
