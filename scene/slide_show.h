// DS_SlideShow_Light: the root of a scene: the slides shown one after
// another with a fade through black, and the document's sound items.  The
// host drives it with four operations, one frame at a time, per screen.
#pragma once

#include <memory>
#include <vector>

#include "document/counted_ptr.h"
#include "document/item.h"
#include "scene/slide.h"

// Sound items are read by the document side's reader of "DS_AudioFile"
// records, installed here; without one, a document that carries sounds
// cannot be read (the load fails) rather than being misread.
using DS_AudioFileReader = DS_IOF_Item* (*)(DS_IOF_Virtual& archive);
void SetAudioFileReader(DS_AudioFileReader reader);

class DS_SlideShow_Light : public DS_IOF_Item {
public:
    DS_SlideShow_Light() = default;
    DS_SlideShow_Light(const DS_SlideShow_Light&) = delete;
    DS_SlideShow_Light& operator=(const DS_SlideShow_Light&) = delete;
    ~DS_SlideShow_Light() override;

    // "DS_SlideShow_Light", version 1: slides, then sounds.
    void Write(DS_IOF_Virtual& archive) override;
    // The current slide, its objects and the fade quad.  With no slide at
    // all the target is cleared to black.
    virtual int Render();
    virtual int InvalidateDeviceObjects();
    // The current slide's layer; the fade quad's corners follow the back
    // buffer (its size may have changed in a windowed reset).
    virtual int RestoreDeviceObjects();
    // `time`: the host's application time in seconds.
    virtual int FrameMove(double time);

    void WriteSlides(DS_IOF_Virtual& archive);
    void WriteAudioFiles(DS_IOF_Virtual& archive);
    // Each reads an int32 count and that many records.
    void ReadSlides(DS_IOF_Virtual& archive);
    void ReadAudioFiles(DS_IOF_Virtual& archive);
    // Header (ignored), slides, sounds: a whole root record.
    static DS_SlideShow_Light* ReadNew(DS_IOF_Virtual& archive);

    void SetPicturePosition(int mode);
    void ApplyCurrentSlide();

    // The fade's darkness at t seconds into a slide's cycle: 1 black, 0 clear.
    static float FadeAlpha(float t, float fadeIn, float hold, float fadeOut);

    DS_CountedPtr<DS_SlideContainer> currentSlide;
    std::vector<DS_CountedPtr<DS_SlideContainer>> slides;
    std::vector<DS_CountedPtr<DS_IOF_Item>> sounds;
    double startTime = 0.0;  // application time the current slide started at
    unsigned int nextIndex = 1;
    std::unique_ptr<DS_SimpleMesh<DX_V::TPC>> fadeQuad;
    float fadeAlpha = 0.0f;  // the alpha last given to the fade quad
};
