#include "glassbackend_p.h"
#include "glowtext_p.h"

namespace {

// For platforms without a window system to ask (offscreen, minimal, …):
// there is no composition and no window to change, but text can still be
// drawn, so the library behaves the same in tests.
class NullBackend : public GlassBackend
{
public:
    bool isCompositionEnabled() override { return false; }
    void setGlass(WId, int) override {}
    void setTopmost(WId, bool) override {}
    void setTransparent(WId, bool, bool) override {}

    bool drawGlowText(QImage &image, const QRect &box, const QString &text,
                      const QFont &font) override
    {
        ::drawGlowText(image, box, text, font);
        return true;
    }
};

} // namespace

GlassBackend *createNullBackend()
{
    return new NullBackend;
}
