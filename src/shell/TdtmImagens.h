#pragma once

#include <QIcon>
#include <QObject>

#include <vector>

namespace tarvolo::shell {

// The image lists the shell's toolbars and trees share, drawn as vectors so they are crisp at 1x
// and 2x. imgNormais and imgDesabilitadas hold 100 glyphs of 16 by 16 (the grey versions shown
// for disabled buttons): 4 a printer, 5 a green tick in a circle, 6 a red cross in a red circle,
// 8 two green circular arrows, 11 a yellow warning triangle, 12 a blue circle with a white "i";
// the others are empty. imgCheckBox holds 2 of 12 by 12: 0 a ticked box, 1 an empty box.
class TdtmImagens : public QObject {
public:
    static constexpr int kNormalCount = 100;
    static constexpr int kCheckBoxCount = 2;

    // The application's instance, made on first use and owned by the application.
    static TdtmImagens& Instance();

    // An empty icon for an index outside the list.
    const QIcon& Normal(int index) const;
    const QIcon& Disabled(int index) const;
    const QIcon& CheckBox(int index) const;
    // A toolbar button's icon: the normal glyph, and the grey one while the button is disabled.
    const QIcon& ButtonIcon(int index) const;

    std::vector<QIcon> imgNormais;
    std::vector<QIcon> imgDesabilitadas;
    std::vector<QIcon> imgCheckBox;

private:
    explicit TdtmImagens(QObject* owner);

    std::vector<QIcon> buttonIcons_;
};

} // namespace tarvolo::shell
