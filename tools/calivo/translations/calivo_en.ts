<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Calivo</name>
    <message>
        <location filename="../calivo_app.cpp" line="21"/>
        <source>That press was too short. Hold the target a little longer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="24"/>
        <source>That press moved. Hold still on the target until you lift.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="27"/>
        <source>The board changed between pen and touch during the press. Press again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="30"/>
        <source>That was not this target. Press the centre of the red target.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="33"/>
        <source>That press is far from where the other targets put it. Press the red target again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="38"/>
        <source>Your last press was taken, but this target, touched earlier, does not fit the others: touch it again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="43"/>
        <source>The targets disagree, so one touch was off its target. Starting again from target 1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="359"/>
        <source>The check landed %1 pixels from the target.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="32"/>
        <location filename="../calivo_window.cpp" line="211"/>
        <source>Whiteboard calibration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="39"/>
        <source>4 targets (2 x 2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="40"/>
        <source>9 targets (3 x 3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="41"/>
        <source>20 targets (5 x 4)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="42"/>
        <source>Skip this key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="43"/>
        <source>Calibrate again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="44"/>
        <source>Keep it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="45"/>
        <location filename="../calivo_window.cpp" line="87"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="86"/>
        <source>Finish without the other keys</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="213"/>
        <source>Target %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="217"/>
        <source>The targets do not fit together</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="219"/>
        <source>Check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="221"/>
        <source>The check missed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="223"/>
        <source>Soft key %1 (%2 of %3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="228"/>
        <source>Calibration saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="231"/>
        <source>Calibration stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="239"/>
        <source>Choose how many targets to touch: more targets follow the board more closely.
Touch a button (or press 2, 3 or 5), or touch anywhere else for 9 targets.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="245"/>
        <source>Touch the centre of the red target and hold still until the ring around it is full, then lift: the target is taken when you lift.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="250"/>
        <source>Some targets were touched out of place, so the driver could not use them.
Touch Calibrate again (or press Enter).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="255"/>
        <source>Touch the centre of the target once more, hold still and lift, to check the calibration.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="261"/>
        <source>The check landed %1 pixels from the target (up to %2 is fine).
Touch Calibrate again (R) or Keep it (K).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="269"/>
        <source>Press soft key %1 on the board (%2 mode) and lift, or touch Skip this key (Space) to leave it as it is.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="277"/>
        <source>The driver takes it up as soon as the board is quiet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="288"/>
        <source>The new calibration is saved. Touch Finish (or press Esc) to leave the other keys as they are.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="292"/>
        <source>Touch Cancel (or press Esc) to stop and keep the calibration as it was.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="389"/>
        <source>Closing in %1 s unless the board is touched.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="274"/>
        <source>touch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="275"/>
        <source>pen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_window.cpp" line="281"/>
        <source>The calibration stays as it was.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>zorvan::calivo::CalivoApp</name>
    <message>
        <location filename="../calivo_app.cpp" line="477"/>
        <source>Calibration saved: %1 × %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="479"/>
        <source>, check %1 px off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="481"/>
        <source>The driver takes it up as soon as the board is quiet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="489"/>
        <source>Soft keys %1 stay as they were.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="492"/>
        <source>Stopped: the calibration saved before stays</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="494"/>
        <source>The board was lost: the calibration is as it was</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="497"/>
        <source>Nothing touched for %1 s: the calibration is as it was</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="500"/>
        <source>The calibration could not be saved: the stored one stays in use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../calivo_app.cpp" line="502"/>
        <source>Cancelled: the calibration is as it was</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
