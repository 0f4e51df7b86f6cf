// beamora: the presenter. Shows this desktop on a network projector from a small skinned window.
#include "presenter/core/PresenterApp.h"

int main(int argc, char** argv) {
    return beamora::RunPresenter(argc, argv);
}
