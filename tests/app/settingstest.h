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
    void fullDiskKeepsTheOldFile();
    void onlyRegularFilesReplaced_data();
    void onlyRegularFilesReplaced();
    void unreadableFileKeptAsBad_data();
    void unreadableFileKeptAsBad();
    void fileBesideProgramOrInUserConfig();

    void infiniteDisablesSamplePoints();
    void languageRowOnlyWhenAsked();
    void languageChangeAsksForRestart();
    void cancelChangesNothing();
    void okAppliesEveryValue();
    void skipRepeatCarriedThrough_data();
    void skipRepeatCarriedThrough();
};
