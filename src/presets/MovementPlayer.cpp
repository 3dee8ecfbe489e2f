#include "MovementPlayer.h"

MovementPlayer& MovementPlayer::shared() {
    static MovementPlayer* instance = new MovementPlayer;
    return *instance;
}
