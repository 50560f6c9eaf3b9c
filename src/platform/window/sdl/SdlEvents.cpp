// Events of the window, each handed to the program's handler under the window lock.
#include <SDL.h>

#include "platform/window/FrameImage.h"
#include "platform/window/KeyCode.h"
#include "platform/audio/SoundFontChoice.h"
#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/window/sdl/SdlPlatform.h"

namespace clavora {

void SdlPlatform::Dispatch(const SDL_Event& event, WindowHandler& handler) {
    switch (event.type) {
    case SDL_QUIT:
        Handle([&] { handler.OnCancel(); });
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            Handle([&] { handler.OnCancel(); });
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            m_forceUpload = true;
            Handle([&] { handler.OnExpose(); });
        }
        break;
    case SDL_KEYDOWN: {
        if (event.key.repeat != 0) break;
        const SDL_Keycode sym = event.key.keysym.sym;
        if (sym == SDLK_ESCAPE) {
            Handle([&] { handler.OnCancel(); });
        } else if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER || sym == SDLK_RETURN2) {
            Handle([&] { handler.OnOK(); });
        } else if (const uint32_t vk = VirtualKey(sym, event.key.keysym.scancode)) {
            Handle([&] { handler.OnKeyDown(vk); });
        }
        break;
    }
    case SDL_KEYUP: {
        const SDL_Keycode sym = event.key.keysym.sym;
        // Escape and Enter act when they go down; their release means nothing.
        if (sym == SDLK_ESCAPE || sym == SDLK_RETURN || sym == SDLK_KP_ENTER ||
            sym == SDLK_RETURN2)
            break;
        if (const uint32_t vk = VirtualKey(sym, event.key.keysym.scancode))
            Handle([&] { handler.OnKeyUp(vk); });
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
            // The program's own code knows only its 800 x 520 picture, drawn at the
            // window's scale from its top left corner, whatever size the window was made.
            int x = 0, y = 0;
            if (!FramePoint(event.button.x, event.button.y, m_pixelsPerUnit, m_scale, x, y))
                break;
            // Every second press of a quick series is a double click, as on the desktop.
            if (event.button.clicks >= 2 && event.button.clicks % 2 == 0) {
                Handle([&] { handler.OnLButtonDblClk(x, y); });
            } else {
                Handle([&] { handler.OnLButtonDown(x, y); });
            }
        }
        break;
    case SDL_DROPFILE:
        if (event.drop.file) {
            // A SoundFont (known by its first bytes, whatever its name) is the sound's to
            // take; songs and MIDI files go to the program.
            if (m_audio && FileLooksLikeSoundFont(event.drop.file))
                m_audio->LoadSoundFont(event.drop.file);
            else
                Handle([&] { handler.OnDropFile(event.drop.file); });
            SDL_free(event.drop.file);
        }
        break;
    case SDL_AUDIODEVICEREMOVED:
        if (!event.adevice.iscapture && m_audio) m_audio->DeviceRemoved(event.adevice.which);
        break;
    case SDL_AUDIODEVICEADDED:
        if (!event.adevice.iscapture && m_audio) m_audio->DeviceAdded();
        break;
    default:
        break;
    }
}

}  // namespace clavora
