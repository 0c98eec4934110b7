#include "sablewick/simulator/session.hpp"

namespace sablewick::simulator {

EmojiMap default_emoji_map() {
    return EmojiMap{
        {0, "\u26AA"},      // MEDIUM WHITE CIRCLE
        {1, "\U0001F535"},  // LARGE BLUE CIRCLE
        {2, "\U0001F7E3"},  // LARGE PURPLE CIRCLE
        {3, "\U0001F7E0"},  // LARGE ORANGE CIRCLE
    };
}

}  // namespace sablewick::simulator
