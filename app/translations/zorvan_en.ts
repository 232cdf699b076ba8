<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Localizable</name>
    <message>
        <source>Alert_Title</source>
        <translation>Calibration needed</translation>
    </message>
    <message>
        <source>Alert_Info</source>
        <translation>The stored calibration of the whiteboard is not usable. Calibrate the board now? The driver quits while the calibration tool runs.</translation>
    </message>
    <message>
        <source>Alert_OK</source>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>Alert_Cancel</source>
        <translation>Not Now</translation>
    </message>
</context>
</TS>
