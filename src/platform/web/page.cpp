#include "platform/web/page.h"

#include <emscripten.h>

// Each call goes to the page's script (web/page.js), which installs
// Module.page before the production starts. Without a page (under node)
// the calls do nothing and the sound output is refused.
EM_JS(void, pageSetCanvasSize, (int width, int height), { if (Module.page) Module.page.setCanvasSize(width, height); });
EM_JS(void, pageSetTitle, (const char* title), { if (Module.page) Module.page.setTitle(UTF8ToString(title)); });
EM_JS(void, pageShowCursor, (int shown), { if (Module.page) Module.page.showCursor(shown != 0); });
EM_JS(void, pagePresent, (const uint32_t* rgba, int width, int height, double workMs), {
    if (Module.page) Module.page.present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height, workMs);
});
EM_JS(void, pageStep, (int number), { if (Module.page) Module.page.step(number); });
EM_JS(int, pageAudioOpen, (int rate), { return Module.page && Module.page.audioOpen(rate) ? 1 : 0; });
EM_JS(void, pageAudioClose, (), { if (Module.page) Module.page.audioClose(); });
EM_JS(double, pageHeardFrame, (), { return Module.page ? Module.page.heardFrame() : -1; });
EM_JS(double, pageSeedValue, (), { return Module.page ? Module.page.seed : -1; });
long long pageSeed() { return (long long)pageSeedValue(); }
EM_JS(void, pageEnded, (int status), { if (Module.page) Module.page.ended(status); });
