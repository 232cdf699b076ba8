<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Calivo</name>
    <message>
        <source>That press was too short. Hold the target a little longer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That press moved. Hold still on the target until you lift.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The board changed between pen and touch during the press. Press again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That was not this target. Press the centre of the red target.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That press is far from where the other targets put it. Press the red target again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The check landed %1 pixels from the target.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Whiteboard calibration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 targets (2 x 2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>9 targets (3 x 3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>20 targets (5 x 4)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip this key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibrate again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Target %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The targets do not fit together</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The check missed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Soft key %1 (%2 of %3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibration saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibration stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose how many targets to touch: more targets follow the board more closely.
Press 2, 3 or 5, or touch the board to use 9 targets.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Press and hold the centre of the red target until it moves on, then lift.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Some targets were touched out of place, so the driver could not use them.
Press Enter or choose Calibrate again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Touch the centre of the target once more to check the calibration.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The check landed %1 pixels from the target (up to %2 is fine).
Press R to calibrate again or K to keep this calibration.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Press soft key %1 on the board (%2 mode) and lift, or press Space to leave it as it is.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>touch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>pen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver uses the new calibration from now on.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The calibration stays as it was.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Esc cancels and keeps the calibration as it was.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
