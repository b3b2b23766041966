Delete "$SMPROGRAMS\$MUI_TEMP\Skeld Error Log Viewer (Simulated Scope).lnk"
