#pragma once

#include "ui/FixedDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QLabel;
class QPushButton;
class QSpinBox;

namespace core {
class SearchOptions;
}

namespace ui {

class RadioGroup;

// The settings dialog. Every control writes through to the one search options record as it
// changes; every close, by OK or by the close box, stores the settings. There is no cancel.
class TSettingsForm : public FixedDialog {
    Q_OBJECT

public:
    // Created once at start-up; loads the settings into options.
    explicit TSettingsForm(core::SearchOptions &options, QWidget *parent = nullptr);

    void FormCreate();
    void FormCloseQuery(bool &canClose) override;
    // OK.
    void BitBtn1Click();

private:
    void CreateControls();
    void ConnectControls();
    void SetFocusOrder();
    void DescribeControls();
    void ShowSettings();
    void CreateNameControls();
    // False, with a message, when "More suffixes" holds something that is no suffix.
    bool SuffixesAreValid();
    // False, with a message, when "Words before" or "Words after" holds a word that cannot be
    // part of a name.
    bool AffixWordsAreValid();
    // The limit as the box and the spin box say it: the spin box's value when the box is set.
    void TakeMaxLength();

    core::SearchOptions &options_;
    QGroupBox *GroupBox1;
    QCheckBox *COMcb;
    QCheckBox *NETcb;
    QCheckBox *ORGcb;
    QCheckBox *BIZcb;
    QCheckBox *UScb;
    QCheckBox *INFOcb;
    QCheckBox *COUKcb;
    QGroupBox *GroupBox2;
    QCheckBox *HyphensCheckBox;
    QCheckBox *AcronymsCheckBox;
    QPushButton *BitBtn1;
    RadioGroup *rgShowDomain;
    QGroupBox *GroupBox3;
    QLineEdit *leRegService;
    QGroupBox *GroupBox4;
    QLineEdit *leSuffixes;
    QLabel *JobsLabel;
    QSpinBox *seJobs;
    RadioGroup *rgCheck;
    RadioGroup *rgLinksFrom;
    RadioGroup *rgRankFrom;
    QCheckBox *cbCache;
    QGroupBox *GroupBox5;
    QLineEdit *leBefore;
    QLineEdit *leAfter;
    QCheckBox *cbCommonAffixes;
    QCheckBox *cbSuffixHacks;
    QCheckBox *cbMaxLength;
    QSpinBox *seMaxLength;
    QLabel *MaxLengthUnit;
};

} // namespace ui
