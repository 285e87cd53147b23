#pragma once

#include <QObject>

// options.xml and the options dialog.
class SettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void firstStartWritesEveryDefault();
    void read_data();
    void read();
    void windowAppliesOnlyWhatTheFileSets();
    void layoutKeptAcrossRuns();
    void unwritableFileWarnsAndWindowCloses();
    void fileBesideProgramOrInUserConfig();

    void infiniteDisablesSamplePoints();
    void languageRowOnlyWhenAsked();
    void languageChangeAsksForRestart();
    void cancelChangesNothing();
    void okAppliesEveryValue();
    void skipRepeatCarriedThrough_data();
    void skipRepeatCarriedThrough();
};
