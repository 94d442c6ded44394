#include "glassbackend_p.h"

namespace {

// For platforms without a window system to ask (offscreen, minimal, …):
// there is no composition and no window to change, but text can still be
// drawn, so the library behaves the same in tests.
class NullBackend : public GlassBackend
{
public:
    bool isCompositionEnabled() override { return false; }
    void setGlass(WId, GLASS_MODE) override {}
    void setTopmost(WId, bool) override {}
    void setTransparent(WId, bool, bool) override {}
};

} // namespace

GlassBackend *createNullBackend()
{
    return new NullBackend;
}
