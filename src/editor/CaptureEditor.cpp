#include "editor/CaptureEditor.h"

#include "capture/CapturePlugin.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CHorizontalSwitch.h"
#include "gui/COnOffButton.h"

namespace {

constexpr int32_t kWidth = 200;
constexpr int32_t kHeight = 60;
constexpr int32_t kChannels = 4;

}  // namespace

CaptureEditor::CaptureEditor(CapturePlugin* owner)
    : AEffGUIEditor(owner, CapturePlugin::kNumParameters),
      plugin(owner),
      background(new CBitmap(kBackgroundBitmap)),
      switchPicture(new CBitmap(kSwitchBitmap)),
      selectorPicture(new CBitmap(kSelectorBitmap)) {
    int32_t width = background->isLoaded() ? background->getWidth() : kWidth;
    int32_t height = background->isLoaded() ? background->getHeight() : kHeight;
    rect = ERect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
}

CaptureEditor::~CaptureEditor() {
    opened = false;
    delete frame;
    frame = nullptr;
    background->forget();
    switchPicture->forget();
    selectorPicture->forget();
}

int32_t CaptureEditor::open(void* parentWindow) {
    AEffGUIEditor::open(parentWindow);
    frame = new CFrame(CRect(0, 0, rect.right, rect.bottom), parentWindow, this);
    frame->setBackground(background);

    const int32_t switchWidth = switchPicture->getWidth(), switchHeight = switchPicture->getHeight() / 2;
    auto* mute =
        new COnOffButton(CRect(128, 8, 128 + switchWidth, 8 + switchHeight), this, CapturePlugin::kMute, switchPicture);
    mute->setDefaultValue(1.0f);
    const int32_t pictureHeight = selectorPicture->getHeight() / kChannels;
    auto* channel = new CHorizontalSwitch(CRect(84, 32, 84 + selectorPicture->getWidth(), 32 + pictureHeight), this,
                                          CapturePlugin::kChannel, kChannels, pictureHeight, kChannels, selectorPicture,
                                          CPoint(0, 0));
    controls[CapturePlugin::kMute] = mute;
    controls[CapturePlugin::kChannel] = channel;
    for (int32_t i = 0; i < CapturePlugin::kNumParameters; ++i) {
        controls[i]->setValue(plugin->getParameter(i));
        frame->addView(controls[i]);
    }
    opened = true;
    return 1;
}

void CaptureEditor::close() {
    opened = false;
    controls[0] = controls[1] = nullptr;
    AEffGUIEditor::close();
}

CControl* CaptureEditor::control(int32_t index) const {
    return index >= 0 && index < CapturePlugin::kNumParameters ? controls[index] : nullptr;
}

void CaptureEditor::parameterChanged(int32_t index, float, bool) {
    if (!opened) return;
    if (CControl* c = control(index)) c->setValue(plugin->getParameter(index));
}

void CaptureEditor::valueChanged(CDrawContext* context, CControl* control) {
    plugin->setParameterAutomated(control->getTag(), control->getValue());
    control->update(context);
}
