#!/usr/bin/env bash
echo "parity: todo"
